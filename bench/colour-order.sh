#!/bin/bash
# Colour conversion at reduced size against converting first. Wallpaper
# photographs are turned into wide-gamut pictures (ProPhoto RGB and Adobe RGB
# from colord-data, perceptual intent, by vips) and stored with their
# profile as JPEG, PNG, TIFF, WebP and HEIC. For each, bench/colour-order.cpp
# compares the program's thumbnail (converted at four times the thumbnail
# size, after the DCT step) and the decoder's output converted first and then
# scaled, both against vips's full-size conversion to sRGB area-averaged to
# the same size, as pixels and as saved thumbnails (JPEG quality 90). The
# original sRGB JPEGs (no profile) run alongside as a check: there both
# roads are the same.
#
# Usage: bench/colour-order.sh [BUILD-DIR]   (default build/, a Release build)
#   PICTURES=8 SIZE=120 bench/colour-order.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
build=${1:-$here/../build}
count=${PICTURES:-8}
size=${SIZE:-120}
icc=/usr/share/color/icc/colord
install_missing plasma-workspace-wallpapers gnome-backgrounds libvips-tools libheif-examples \
    colord-data

work=$(mktemp -d "${TMPDIR:-/tmp}/miniskop-colour.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! c++ -O2 -std=c++20 -fPIC -I"$here/../imaging" -I"$here/../imaging/decoders" \
    -I"$here/../common" "$here/colour-order.cpp" "$build/imaging/libminiskop_imaging.a" \
    "$build/common/libminiskop_common.a" \
    $(pkg-config --cflags --libs Qt6Gui libturbojpeg libjpeg libwmf spng libdeflate libwebp \
        libtiff-4 libheif libjxl lcms2) -o "$work/colour-order"; then
    echo "colour-order: cannot build the measuring tool against $build" >&2
    exit 2
fi

mkdir -p "$work/src" "$work/pictures" "$work/ref"
collect_wallpapers "$work/src" '\.jpe?g$' >/dev/null
n=0
for src in "$work/src"/*; do
    [[ $src == *screenshot* ]] && continue
    n=$((n + 1))
    ((n > count)) && break
    base=$(basename "${src%.*}")
    cp "$src" "$work/pictures/$base-srgb.jpg"
    # Without metadata: an EXIF block would send PNG and WebP to Qt's readers.
    vips copy "$src" "$work/ref/$base-srgb.png[strip]" 2>/dev/null
    for profile in ProPhotoRGB AdobeRGB1998; do
        vips icc_transform "$work/ref/$base-srgb.png" "$work/wide.v" "$icc/$profile.icc" \
            --input-profile "$icc/sRGB.icc" --intent perceptual 2>/dev/null
        stem=$work/pictures/$base-$profile
        vips copy "$work/wide.v" "$stem.png"
        vips copy "$work/wide.v" "$stem.jpg[Q=95]"
        vips copy "$work/wide.v" "$stem.tif[compression=lzw]"
        vips copy "$work/wide.v" "$stem.webp[Q=95]"
        heif-enc -q 90 -p preset=ultrafast "$stem.png" -o "$stem.heic" >/dev/null
        for f in "$stem".*; do
            vips icc_transform "$f" "$work/ref/$(basename "${f%.*}").png" "$icc/sRGB.icc" \
                --intent perceptual 2>/dev/null
        done
    done
done

echo "thumbnails within $size pixels; PSNR in dB against vips's full-size conversion"
printf '%-40s %8s %8s %8s %8s %8s\n' picture reduced first "saved r" "saved f" difference
"$work/colour-order" "$size" "$work/ref" "$work/pictures"/* | tee "$work/result.txt"
echo
echo "mean and worst difference of the saved thumbnails (reduced - first) by kind:"
awk '{ n = split($1, p, "-"); kind = p[n]; d[kind] += $6; c[kind]++
       if (!(kind in w) || $6 < w[kind]) w[kind] = $6 }
     END { for (k in d) printf "  %-22s mean %6.2f dB   worst %6.2f dB   (%d pictures)\n",
                              k, d[k] / c[k], w[k], c[k] }' "$work/result.txt" | sort
