#!/bin/bash
# Makes extra-references/: renderings, by decoders independent of Miniskop's,
# of the corpus pictures that image-rs gives no reference for (or, for one
# animated PNG, a reference of its first animation frame where still-picture
# decoders show the default image before the animation). Each is a PNG named
# after its picture plus ".png". Run once when the corpus changes; the
# results are committed. Needs imagemagick, libtiff-tools, webp.
#
# Left without a reference: the BMP and ICO pictures (another reader is on
# its way), png/16bpc/basi0g16.png and basn2c16.png (their gAMA chunk says
# gamma 1.0, which ImageMagick applies and Miniskop, like image-rs, does
# not), tiff/testsuite/ycbcr_lzw_broken.tif (libtiff refuses it) and
# tiff/testsuite/ycbcr_jpeg_8bit.tif (a photograph whose rendering would
# weigh 180 KB; JPEG-compressed TIFF is checked by the imaging suite).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
images=$here/image-rs/images
out=$here/extra-references
srgb=/usr/share/color/icc/colord/sRGB.icc  # colord-data
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

render() {  # picture, then the command that writes $tmp/out.png from $in
    local picture=$1
    shift
    in=$images/$picture
    "$@"
    mkdir -p "$out/$(dirname "$picture")"
    mv "$tmp/out.png" "$out/$picture.png"
}

# JPEG: ImageMagick (libjpeg), turned as the EXIF orientation says; an
# embedded profile converted to sRGB by ImageMagick's LittleCMS.
im_jpeg() { convert "$in" -auto-orient -strip "$tmp/out.png"; }
im_jpeg_icc() { convert "$in" -auto-orient -intent perceptual -profile "$srgb" -strip "$tmp/out.png"; }
# PNG, GIF: ImageMagick (libpng, its own GIF reader), first frame on its screen.
im_first() { convert "$in[0]" -background none -flatten -strip "$tmp/out.png"; }
# TIFF: libtiff's RGBA interface (tiff2rgba), then ImageMagick to PNG.
rgba_tiff() {
    tiff2rgba "$in" "$tmp/rgba.tif"
    convert "$tmp/rgba.tif" -strip "$tmp/out.png"
}
# WebP: libwebp's dwebp.
dwebp_png() { dwebp -quiet "$in" -o "$tmp/out.png"; }

render jpg/exif-xmp-metadata.jpg im_jpeg
render jpg/iptc.jpg im_jpeg_icc
render jpg/portrait_2.jpg im_jpeg_icc
render gif/anim/large-gif-anim-combine.gif im_first
render gif/anim/large-gif-anim-full-frame-replace.gif im_first
render png/iptc.png im_first
render "png/bugfixes/issue#2026.png" im_first
render png/apng/wpt/fcTL-dispose-in-region-previous.png im_first
render tiff/testsuite/cmyk_u8_edge_case.tif rgba_tiff
render tiff/testsuite/cmyk_u8_trunc_case.tif rgba_tiff
render tiff/testsuite/l1_xmp.tiff rgba_tiff
render tiff/testsuite/ycbcr_lzw_bt709.tif rgba_tiff
render webp/lossless_images/simple_xmp.webp dwebp_png
# The same pixels as tp1n3p08.png, with an XMP chunk: image-rs's rendering
# of that picture.
render png/transparency/tp1n3p08_xmp.png cp "$here/image-rs/reference/png/transparency/tp1n3p08.png.png" "$tmp/out.png"
