#!/bin/bash
# Memory of large pictures: what miniskop-batch reckons a picture's decoding
# holds against what it holds, and the peak of a whole run against the
# budget. Every picture is made here, at benchmark time, by bench/make-large.py
# (Python), cjpeg, ImageMagick, heif-enc, avifenc, cjxl and cwebp, and removed
# at the end (about 300 MB while it runs, and a 768 MB intermediate).
#
#   roads   one large picture per road a decoder takes (JPEG baseline and
#           progressive 4:2:0 and 4:4:4, PNG streamed, 16-bit, inflated at
#           once and interlaced, TIFF strips and 1-gigapixel tiles, HEIC,
#           AVIF, JPEG XL lossy and lossless, WebP lossy and lossless, BMP,
#           GIF), one process each with -j 1: the estimate
#           (bench/memory-estimate.cpp, PictureSource::decodeBytes) beside the
#           peak resident set (GNU time) less the baseline, the peak of the
#           same road on a 64 x 48 picture of the same kind (the program, its
#           libraries and that decoder's code), and their ratio.
#   jobs    the roads' pictures and three 12000 x 12000 progressive 4:4:4
#           JPEGs in one folder, with -j 1, 2 and 8: peak against the budget
#           (1 GiB) plus 150 MB.
#   cases   three 12000 x 12000 progressive 4:4:4 JPEGs with -j 3 (within
#           1.3 GB); a 20000 x 20000 8-bit PNG (within 400 MB, its thumbnail's
#           colours checked against make-large.py's); a 16000 x 16000
#           progressive 4:4:4 JPEG refused at the default budget with the
#           sentence, made with --memory 2G.
#
# Usage: bench/memory-bench.sh [PATH-TO-miniskop-batch]   (a Release build)
#   SETS="roads cases" bench/memory-bench.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
batch=${1:-${MINISKOP_BATCH:-$here/../build/miniskop-batch}}
build=$(cd "$(dirname "$batch")" && pwd)
sets=${SETS:-roads jobs cases}
large="/usr/bin/python3 $here/make-large.py"
install_missing libjpeg-turbo-progs imagemagick libheif-examples libavif-bin libjxl-tools webp \
    time python3

if [[ ! -x $batch ]]; then
    echo "memory-bench: no miniskop-batch at $batch (build it, or pass its path)" >&2
    exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/miniskop-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # no settings file of the user's
mkdir -p "$XDG_CONFIG_HOME"

if ! c++ -O2 -std=c++20 -fPIC -I"$here/../imaging" -I"$here/../imaging/decoders" \
    -I"$here/../common" "$here/memory-estimate.cpp" "$build/imaging/libminiskop_imaging.a" \
    "$build/common/libminiskop_common.a" \
    $(pkg-config --cflags --libs Qt6Gui libturbojpeg libjpeg libwmf spng libdeflate libwebp \
        libtiff-4 libheif libjxl lcms2) -lgif -o "$work/memory-estimate"; then
    echo "memory-bench: cannot build the estimating tool against $build" >&2
    exit 2
fi
echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/ { print $2 }') GB, load $(cut -d' ' -f1-3 /proc/loadavg)"

# Makes picture $2 (a path without extension) of road $1, $3 x $4 pixels;
# prints the file's path.
make_road() {
    local road=$1 out=$2 w=$3 h=$4 src=$2.src
    case $road in
    jpeg-baseline) $large ppm "$w" "$h" "$src.ppm" && cjpeg -quality 90 "$src.ppm" >"$out.jpg" ;;
    jpeg-prog-420) $large ppm "$w" "$h" "$src.ppm" &&
        cjpeg -quality 90 -progressive "$src.ppm" >"$out.jpg" ;;
    jpeg-prog-444) $large ppm "$w" "$h" "$src.ppm" &&
        cjpeg -quality 90 -sample 1x1 -progressive "$src.ppm" >"$out.jpg" ;;
    png-streamed) $large png "$w" "$h" "$out.png" ;;
    png-16bit) $large png "$w" "$h" "$out.png" --bits 16 ;;
    png-inflated) $large png "$w" "$h" "$out.png" ;;
    png-interlaced) $large png "$w" "$h" "$src.png" && convert "$src.png" -interlace PNG "$out.png" ;;
    tiff-strips) $large tiff "$w" "$h" "$out.tiff" ;;
    tiff-tiles) $large tiff "$w" "$h" "$out.tiff" --tile 256 ;;
    heic) $large png "$w" "$h" "$src.png" && heif-enc -q 80 "$src.png" -o "$out.heic" >/dev/null ;;
    avif) $large png "$w" "$h" "$src.png" && avifenc -s 8 "$src.png" "$out.avif" >/dev/null ;;
    jxl-lossy) $large ppm "$w" "$h" "$src.ppm" && cjxl "$src.ppm" "$out.jxl" -d 1 2>/dev/null ;;
    jxl-lossless) $large png "$w" "$h" "$src.png" --noise &&
        cjxl "$src.png" "$out.jxl" -d 0 -e 1 2>/dev/null ;;
    webp-lossy) $large ppm "$w" "$h" "$src.ppm" && cwebp -quiet -q 80 "$src.ppm" -o "$out.webp" ;;
    webp-lossless) $large png "$w" "$h" "$src.png" --noise &&
        cwebp -quiet -lossless -z 1 "$src.png" -o "$out.webp" ;;
    bmp) $large bmp "$w" "$h" "$out.bmp" ;;
    gif) $large png "$w" "$h" "$src.png" && convert "$src.png" "$out.gif" ;;
    esac
    rm -f "$src".*
    ls "$out".*
}

# Runs miniskop-batch on folder $1 with the options that follow; prints the
# peak resident set (KB), the wall time (s) and how many pictures failed.
# Its standard error goes to $work/err.txt.
peak_of() {
    local folder=$1 failed
    shift
    rm -rf "$folder/Thumbnails"
    /usr/bin/time -f '%M %e' -o "$work/time.txt" "$batch" --quiet --pattern '*' "$@" "$folder" \
        >/dev/null 2>"$work/err.txt" || true
    failed=$(sed -n 's/^miniskop-batch: \([0-9]*\) of .* failed$/\1/p' "$work/err.txt")
    echo "$(cat "$work/time.txt") ${failed:-0}"
}

mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

roads=(jpeg-baseline:16000x12000 jpeg-prog-420:8000x6000 jpeg-prog-444:8000x6000
    png-streamed:20000x20000 png-16bit:8000x6000 png-inflated:4000x3000
    png-interlaced:8000x6000 tiff-strips:20000x10000 tiff-tiles:32768x32768 heic:8000x6000
    avif:6000x4000 jxl-lossy:8000x6000 jxl-lossless:6000x4000 webp-lossy:12000x9000
    webp-lossless:8000x6000 bmp:8000x6000 gif:6000x4000)

if [[ " $sets " == *" roads "* || " $sets " == *" jobs "* ]]; then
    echo
    echo "Making the pictures of ${#roads[@]} roads ..."
    mkdir -p "$work/roads" "$work/tiny"
    for entry in "${roads[@]}"; do
        road=${entry%%:*} size=${entry#*:}
        mkdir -p "$work/roads/$road" "$work/tiny/$road"
        make_road "$road" "$work/roads/$road/$road" "${size%x*}" "${size#*x}" >/dev/null
        make_road "$road" "$work/tiny/$road/$road" 64 48 >/dev/null
    done
fi

if [[ " $sets " == *" roads "* ]]; then
    echo
    echo "Per road, one picture per process (-j 1); MB = 2^20 bytes; peak less the baseline"
    printf '%-16s %12s %10s %11s %10s %10s %7s %6s\n' road size "file MB" "estimate" "peak" \
        baseline ratio "s"
    for entry in "${roads[@]}"; do
        road=${entry%%:*} size=${entry#*:}
        file=$(ls "$work/roads/$road/"*)
        estimate=$("$work/memory-estimate" 120 "$file" | awk '{ print $1 }')
        read -r base _ < <(peak_of "$work/tiny/$road" -j 1)
        read -r kb secs failed < <(peak_of "$work/roads/$road" -j 1)
        if ((failed > 0)); then
            echo "$road: failed: $(head -1 "$work/err.txt")"
            continue
        fi
        held=$(((kb - base) * 1024))
        awk -v r="$road" -v s="$size" -v f="$(stat -c %s "$file")" -v e="$estimate" -v h="$held" \
            -v b="$base" -v t="$secs" 'BEGIN {
                printf "%-16s %12s %10.1f %11.1f %10.1f %10.1f %6.2fx %6.2f\n", r, s, f / 1048576,
                    e / 1048576, h / 1048576, b / 1024, (h > 0 ? e / h : 0), t }'
    done
    echo "ratio: estimate / peak; the estimate errs high. Where the peak is a few MB it is mostly"
    echo "noise of the allocator and the library code the tiny picture did not touch."
fi

if [[ " $sets " == *" jobs "* ]]; then
    echo
    echo "Making three 12000 x 12000 progressive 4:4:4 JPEGs for the mixed folder ..."
    mixed=$work/mixed
    mkdir -p "$mixed"
    for entry in "${roads[@]}"; do
        road=${entry%%:*}
        find "$work/roads/$road" -maxdepth 1 -type f -exec ln {} "$mixed/" \;
    done
    for k in 1 2 3; do
        make_road jpeg-prog-444 "$mixed/scan$k" 12000 12000 >/dev/null
    done
    echo "Mixed folder: $(find "$mixed" -type f | wc -l) pictures, budget 1 GiB (1024 MB), limit 1174 MB"
    printf '%-6s %10s %10s %8s\n' jobs "peak MB" "wall s" failed
    for jobs in 1 2 8; do
        read -r kb secs failed < <(peak_of "$mixed" -j "$jobs")
        awk -v j="$jobs" -v kb="$kb" -v s="$secs" -v f="$failed" \
            'BEGIN { printf "%-6s %10.1f %10.2f %8d%s\n", j, kb / 1024, s, f,
                     (kb / 1024 > 1174 ? "   OVER" : "") }'
    done
    rm -rf "$mixed"
fi
rm -rf "$work/roads" "$work/tiny"

if [[ " $sets " == *" cases "* ]]; then
    echo
    echo "The three cases of the issue"
    mkdir -p "$work/three" "$work/png" "$work/huge"
    for k in 1 2 3; do make_road jpeg-prog-444 "$work/three/scan$k" 12000 12000 >/dev/null; done
    read -r kb secs failed < <(peak_of "$work/three" -j 3)
    echo "three 12000^2 progressive 4:4:4, -j 3: $((3 - failed)) of 3 made, peak $(mb $((kb * 1024))) MB" \
        "(at most 1300), $secs s"
    rm -rf "$work/three"

    make_road png-streamed "$work/png/plain" 20000 20000 >/dev/null
    read -r kb secs _ < <(peak_of "$work/png" -j 1)
    thumb=$work/png/Thumbnails/t_plain.jpg
    colours=$(for p in 30+30 90+30 30+90 90+90; do
        convert "$thumb" -crop "1x1+$p" +repage -depth 8 txt:- | tail -1 |
            sed -E 's/^[^(]*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/'
    done)
    worst=$(paste <(echo "$colours") <($large expect) | awk '{
        for (i = 1; i <= 3; i++) { d = $i - $(i + 3); if (d < 0) d = -d; if (d > m) m = d } }
        END { print m + 0 }')
    echo "20000^2 8-bit PNG: peak $(mb $((kb * 1024))) MB (at most 400), $secs s; quadrant" \
        "colours within $worst of the generator's"
    rm -rf "$work/png"

    make_road jpeg-prog-444 "$work/huge/scan" 16000 16000 >/dev/null
    read -r kb secs _ < <(peak_of "$work/huge" -j 1)
    echo "16000^2 progressive 4:4:4, default budget: $(grep -o 'too large.*' "$work/err.txt" ||
        echo "NOT REFUSED")"
    read -r kb secs failed < <(peak_of "$work/huge" -j 1 --memory 2G)
    echo "16000^2 progressive 4:4:4, --memory 2G: $((1 - failed)) of 1 made, peak $(mb $((kb * 1024))) MB," \
        "$secs s"
fi
