#!/bin/bash
# The newer formats and the faster PNG road: miniskop-batch against
# vipsthumbnail started on all cores (xargs -P $(nproc)), in one run:
#
#   heic   the photographs of plasma-workspace-wallpapers and gnome-backgrounds
#          encoded at full size by heif-enc, every second one with an
#          embedded thumbnail (-t 320); made once and kept in HEIC_CACHE
#   png    the PNG and WebP pictures of the same packages
#   jpeg   their JPEG photographs
#   tiff   the photographs as TIFF (none, LZW and JPEG compression; strips and
#          tiles); also libtiff by strips against Qt's TIFF reader, one core
#          (bench/tiff-decoders.cpp)
#   pngdec libpng, libspng, zlib + our unfiltering and libdeflate + our
#          unfiltering on the PNG pictures, one core (bench/png-decoders.cpp)
#
# vipsthumbnail runs twice per set: one file per process, and the files
# split into one batch per core; the faster of the two is the one compared.
# Each tool runs REPEAT times (default 3) and the fastest run counts. Peak
# memory: miniskop-batch's maximum resident set (GNU time); for the xargs
# runs the resident sets of all processes alive at once, summed and sampled
# every 10 ms in a run of its own. The quality of the HEIC thumbnails is
# given as PSNR against heif-convert's full decode, box-averaged.
#
# Usage: bench/formats-bench.sh [PATH-TO-miniskop-batch]   (a Release build)
#   SETS="heic png" REPEAT=5 HEIC_CACHE=/some/folder bench/formats-bench.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
batch=${1:-${MINISKOP_BATCH:-$here/../build/miniskop-batch}}
build=$(dirname "$batch")
repeat=${REPEAT:-3}
sets=${SETS:-heic png jpeg tiff pngdec}
cores=$(nproc)
cache=${HEIC_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/miniskop-bench/heic}
install_missing plasma-workspace-wallpapers gnome-backgrounds libvips-tools imagemagick time \
    libheif-examples procps

if [[ ! -x $batch ]]; then
    echo "formats-bench: no miniskop-batch at $batch (build it, or pass its path)" >&2
    exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/miniskop-formats.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # no settings file of the user's
mkdir -p "$XDG_CONFIG_HOME"
echo "machine: $cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"
echo

# Runs a command R times; prints "wall cpu kilobytes" of the fastest run.
measure() {
    local runs=$1 best="" line
    shift
    for ((r = 1; r <= runs; r++)); do
        rm -rf "$work/out" "${pictures:?}/Thumbnails"
        mkdir -p "$work/out"
        /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
            echo "formats-bench: failed: $*" >&2
            tail -3 "$work/err.txt" >&2
            return 1
        }
        line=$(awk '{ printf "%s %.2f %s", $1, $2 + $3, $4 }' "$work/time.txt")
        if [[ -z $best ]] || is_faster "${line%% *}" "${best%% *}"; then best=$line; fi
    done
    echo "$best"
}

# Peak of the summed resident sets of a command and its children (KB).
tree_peak() {
    rm -rf "$work/out" "${pictures:?}/Thumbnails"
    mkdir -p "$work/out"
    "$@" >/dev/null 2>&1 &
    local pid=$! peak=0 kb
    while kill -0 "$pid" 2>/dev/null; do
        kb=$(ps -o rss= --pid "$pid" --ppid "$pid" 2>/dev/null | awk '{ s += $1 } END { print s + 0 }')
        ((kb > peak)) && peak=$kb
        sleep 0.01
    done
    wait "$pid" || true
    echo "$peak"
}

row() {  # name wall cpu kilobytes base-wall
    awk -v t="$1" -v s="$2" -v c="$3" -v kb="$4" -v b="$5" 'BEGIN {
        printf "%-34s %9.2f %9.2f %11.1f %11.2fx\n", t, s, c, kb / 1024, s / b }'
}

# miniskop-batch and both vipsthumbnail runs over $pictures (pattern $1).
compare_set() {
    local pattern=$1 list=$work/list.txt
    find "$pictures" -maxdepth 1 -type f | sort >"$list"
    local n per
    n=$(wc -l <"$list")
    per=$(((n + cores - 1) / cores))
    read -r m_s m_c m_kb < <(measure "$repeat" "$batch" --quiet --size 120 --quality 90 \
        --pattern "$pattern" "$pictures")
    local vips=(vipsthumbnail -s 120 -o "$work/out/%s.jpg[Q=90]")
    read -r v1_s v1_c _ < <(measure "$repeat" xargs -a "$list" -P "$cores" -n 1 "${vips[@]}")
    read -r vb_s vb_c _ < <(measure "$repeat" xargs -a "$list" -P "$cores" -n "$per" "${vips[@]}")
    local v1_kb vb_kb
    v1_kb=$(tree_peak xargs -a "$list" -P "$cores" -n 1 "${vips[@]}")
    vb_kb=$(tree_peak xargs -a "$list" -P "$cores" -n "$per" "${vips[@]}")
    printf '%-34s %9s %9s %11s %12s\n' tool "wall (s)" "cpu (s)" "peak (MB)" "wall ratio"
    row miniskop-batch "$m_s" "$m_c" "$m_kb" "$m_s"
    row "vipsthumbnail, 1 file a process" "$v1_s" "$v1_c" "$v1_kb" "$m_s"
    row "vipsthumbnail, $per files a process" "$vb_s" "$vb_c" "$vb_kb" "$m_s"
    local v_s=$v1_s v_kb=$v1_kb
    if is_faster "$vb_s" "$v1_s"; then v_s=$vb_s v_kb=$vb_kb; fi
    awk -v m="$m_s" -v v="$v_s" -v mk="$m_kb" -v vk="$v_kb" 'BEGIN {
        printf "miniskop is %.2fx as fast as vipsthumbnail (its faster way); peak memory %.0f MB against %.0f MB\n",
               v / m, mk / 1024, vk / 1024 }'
}

# PSNR of miniskop's thumbnails of the HEIC files with ($1 = thumb) or
# without ($1 = plain) an embedded thumbnail against heif-convert's full
# decode box-averaged to their size: "min mean".
heic_quality() {
    local list=""
    for f in "$pictures"/*.heic; do
        local b thumb size kind=plain
        [[ $f == *_thumb.heic ]] && kind=thumb
        [[ $kind == "$1" ]] || continue
        b=$(basename "${f%.heic}")
        thumb=$pictures/Thumbnails/t_$b.jpg
        [[ -f $thumb ]] || continue
        # Without metadata: ImageMagick refuses heif-convert's PNGs with EXIF.
        heif-convert --quiet "$f" "$work/ref.png" >/dev/null 2>&1 || continue
        vips copy "$work/ref.png" "$work/ref-plain.png[strip]" 2>/dev/null || continue
        size=$(identify -format '%wx%h' "$thumb")
        convert "$work/ref-plain.png" -scale "${size}!" "$work/ref-s.png" || continue
        list+="$(compare -metric PSNR "$thumb" "$work/ref-s.png" null: 2>&1 || true) "
    done
    echo "$list" | tr ' ' '\n' | awk 'NF { s += $1; n++; if (n == 1 || $1 < m) m = $1 }
        END { if (n) printf "%.1f %.1f", m, s / n; else printf "- -" }'
}

photographs() {  # folder: the JPEG photographs (no screenshots), numbered
    collect_wallpapers "$1" '\.jpe?g$' >/dev/null
    rm -f "$1"/*screenshot*
}

for set in $sets; do
    case $set in
        heic)
            if [[ ! -f $cache/complete ]]; then
                echo "(encoding the HEIC set into $cache once; this takes some minutes)"
                mkdir -p "$cache"
                photographs "$work/src"
                k=0
                for f in "$work/src"/*; do
                    k=$((k + 1))
                    b=$(basename "${f%.*}")
                    if ((k % 2 == 0)); then
                        echo "heif-enc -q 75 -t 320 '$f' -o '$cache/${b}_thumb.heic'"
                    else
                        echo "heif-enc -q 75 '$f' -o '$cache/$b.heic'"
                    fi
                done | xargs -P "$cores" -I{} sh -c '{} >/dev/null'
                touch "$cache/complete"
                rm -rf "$work/src"
            fi
            pictures=$work/heic
            mkdir -p "$pictures"
            cp "$cache"/*.heic "$pictures/"
            echo "== HEIC: $(ls "$pictures" | wc -l) photographs, $(ls "$pictures" | grep -c _thumb) with an embedded thumbnail, $(du -sh "$pictures" | cut -f1), $(describe_pictures "$pictures")"
            compare_set '*.heic'
            "$batch" --quiet --size 120 --quality 90 --pattern '*.heic' "$pictures" >/dev/null 2>&1 || true
            read -r q1 q2 < <(heic_quality plain) || true
            read -r t1 t2 < <(heic_quality thumb) || true
            echo "thumbnail PSNR against heif-convert's full decode, box-averaged:"
            echo "  decoded whole: min $q1 dB, mean $q2 dB; from the embedded thumbnail: min $t1 dB, mean $t2 dB"
            echo "  (heif-enc makes its thumbnails by dropping pixels, not averaging them)"
            rm -rf "$pictures"
            echo
            ;;
        png | jpeg)
            pictures=$work/$set
            if [[ $set == png ]]; then
                collect_wallpapers "$pictures" '\.(png|webp)$' >/dev/null
                title="PNG and WebP pictures"
                pattern='*.png;*.webp'
            else
                photographs "$pictures"
                title="JPEG photographs"
                pattern='*.jpg;*.jpeg'
            fi
            echo "== $title: $(ls "$pictures" | wc -l) files, $(du -sh "$pictures" | cut -f1), $(describe_pictures "$pictures")"
            compare_set "$pattern"
            rm -rf "$pictures"
            echo
            ;;
        tiff)
            pictures=$work/tiff
            photographs "$work/src"
            mkdir -p "$pictures"
            k=0
            for f in $(ls "$work/src"/* | head -12); do
                k=$((k + 1))
                b=$(basename "${f%.*}")
                case $((k % 4)) in
                    0) vips copy "$f" "$pictures/$b.tif" ;;
                    1) vips copy "$f" "$pictures/$b.tif[compression=lzw]" ;;
                    2) vips copy "$f" "$pictures/$b.tif[compression=jpeg,Q=90]" ;;
                    3) vips copy "$f" "$pictures/$b.tif[compression=lzw,tile]" ;;
                esac
            done 2>/dev/null
            rm -rf "$work/src"
            echo "== TIFF: $(ls "$pictures" | wc -l) photographs (none, LZW, JPEG, tiled LZW), $(du -sh "$pictures" | cut -f1), $(describe_pictures "$pictures")"
            compare_set '*.tif'
            if c++ -O2 -std=c++20 -fPIC -I"$here/../imaging" -I"$here/../imaging/decoders" \
                -I"$here/../common" "$here/tiff-decoders.cpp" \
                "$build/imaging/libminiskop_imaging.a" \
                "$build/common/libminiskop_common.a" $(pkg-config --cflags --libs Qt6Gui \
                libturbojpeg libjpeg libwmf spng libdeflate libwebp libtiff-4 libheif libjxl lcms2) \
                -o "$work/tiff-decoders" 2>"$work/err.txt"; then
                "$work/tiff-decoders" "$repeat" 120 "$pictures"/*.tif
            else
                echo "(cannot build bench/tiff-decoders.cpp against $build)"
            fi
            rm -rf "$pictures"
            echo
            ;;
        pngdec)
            pictures=$work/pngdec
            collect_wallpapers "$pictures" '\.png$' >/dev/null
            echo "== PNG decoders, one core, into the area scaler"
            if c++ -O2 -std=c++20 -fPIC -I"$here/../imaging" -I"$here/../imaging/decoders" \
                "$here/png-decoders.cpp" "$here/../imaging/decoders/PngUnfilter.cpp" \
                "$build/imaging/libminiskop_imaging.a" \
                $(pkg-config --cflags --libs Qt6Gui libpng spng libdeflate zlib) \
                -o "$work/png-decoders" 2>"$work/err.txt"; then
                "$work/png-decoders" "$repeat" "$pictures"/*.png 2>/dev/null
            else
                echo "(cannot build bench/png-decoders.cpp against $build)"
            fi
            rm -rf "$pictures"
            echo
            ;;
    esac
done
echo "Wall ratio: tool / miniskop-batch, above 1 means slower than miniskop-batch."
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
