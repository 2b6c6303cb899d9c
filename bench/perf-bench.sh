#!/bin/bash
# Speed and scale of miniskop-batch against its peers, all in one go.
#
#   1. The JPEG photographs of plasma-workspace-wallpapers + gnome-backgrounds
#      at size 120, quality 90: miniskop-batch, vipsthumbnail (one process over
#      all files), ImageMagick mogrify with jpeg:size, and the decoding limit
#      (djpeg -scale 1/8 over all files, divided by the cores).
#   2. The PNG and WebP pictures of the same packages: the same peers.
#   3. Scale: generated 1-megapixel JPEGs and tiny JPEGs at growing counts;
#      time per picture and peak memory at each count.
#   4. One 100-megapixel JPEG and one 100-megapixel PNG: time and peak memory.
#   5. The file list of a folder of 100,000 entries: listing, filtering and
#      sorting by name (bench/list-bench.cpp, built against the same build).
#
# Every tool runs REPEAT times (default 3) on sets 1, 2 and 4, once on set 3;
# the fastest run counts. Peak memory is the maximum resident set size. The
# quality of miniskop's thumbnails of sets 1 and 2 is checked as PSNR against
# a full decode, box-averaged to the thumbnail's size.
#
# Usage: bench/perf-bench.sh [PATH-TO-miniskop-batch]   (use a Release build)
#   SETS="1 2 4" ...       only these sets (default: 1 2 3 4 5)
#   SCALE_MP="1000 3000 10000" SCALE_TINY="10000 30000 100000"   set 3 counts
#   JOBS=N                 miniskop-batch --jobs (default: its own, one per core)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
batch=${1:-${MINISKOP_BATCH:-$here/../build/miniskop-batch}}
repeat=${REPEAT:-3}
sets=${SETS:-1 2 3 4 5}
scale_mp=${SCALE_MP:-1000 3000 10000}
scale_tiny=${SCALE_TINY:-10000 30000 100000}
cores=$(nproc)
packages=(plasma-workspace-wallpapers gnome-backgrounds libvips-tools imagemagick time
          libjpeg-turbo-progs)

if [[ ! -x $batch ]]; then
    echo "perf-bench: no miniskop-batch at $batch (build it, or pass its path)" >&2
    exit 2
fi
install_missing "${packages[@]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/miniskop-perf.XXXXXX")
trap 'rm -rf "$work"' EXIT
# No settings file of the user's: the options alone decide.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
jobs_arg=()
[[ -n ${JOBS:-} ]] && jobs_arg=(--jobs "$JOBS")

echo "machine: $cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"
echo "miniskop-batch: $batch ${jobs_arg[*]}"
echo

# Runs a command R times (default $repeat); prints "seconds kilobytes" of the
# fastest run. The output folders $work/out and $pictures/Thumbnails are
# emptied before each run.
measure() {
    local runs=$1
    shift
    local best_s="" best_kb=""
    for ((r = 1; r <= runs; r++)); do
        rm -rf "$work/out" "${pictures:?}/Thumbnails"
        mkdir -p "$work/out"
        /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
            echo "perf-bench: failed: $*" >&2
            tail -5 "$work/stderr.txt" >&2
            return 1
        }
        local s kb
        read -r s kb < <(time_report "$work/time.txt")
        if is_faster "$s" "$best_s"; then
            best_s=$s
            best_kb=$kb
        fi
    done
    echo "$best_s $best_kb"
}

header() {
    printf '%-22s %10s %12s %14s %12s\n' tool "wall (s)" "vs miniskop" "peak RSS (MB)" "vs miniskop"
}
row() {  # name seconds kilobytes base-seconds base-kilobytes
    awk -v t="$1" -v s="$2" -v kb="$3" -v bs="$4" -v bkb="$5" 'BEGIN {
        printf "%-22s %10.2f %11.2fx %14.1f %11.2fx\n", t, s, s / bs, kb / 1024, kb / bkb }'
}

# PSNR of miniskop's thumbnails against the full decode box-averaged to the
# same size, and of that reference itself after a JPEG round trip with the same
# encoding (quality 90, 4:2:0 chroma): the second is the floor the encoder sets,
# so the gap between the two is what the scaling loses. Prints "min mean
# floor-min floor-mean" in dB over the set.
quality() {
    local dir=$1 thumbs=$1/Thumbnails list="" floors=""
    for thumb in "$thumbs"/t_*.jpg; do
        local base=${thumb##*/t_}
        base=${base%.jpg}
        local candidates=("$dir/$base".*)
        local src=${candidates[0]}
        [[ -f $src ]] || continue
        local size
        size=$(identify -format '%wx%h' "$thumb")
        convert -quiet "$src" -auto-orient -colorspace sRGB -scale "${size}!" "$work/ref.png" 2>/dev/null
        convert -quiet "$work/ref.png" -quality 90 -sampling-factor 2x2 "$work/ref.jpg"
        local p f
        p=$(compare -quiet -metric PSNR "$thumb" "$work/ref.png" null: 2>&1 || true)
        f=$(compare -quiet -metric PSNR "$work/ref.jpg" "$work/ref.png" null: 2>&1 || true)
        list+="$p "
        floors+="$f "
    done
    local stats='NF { v = ($1 == "inf") ? 99 : $1 + 0; s += v; n++
        if (n == 1 || v < m) m = v } END { printf "%.1f %.1f", m, s / n }'
    echo "$(echo "$list" | tr ' ' '\n' | awk "$stats") $(echo "$floors" | tr ' ' '\n' | awk "$stats")"
}

picture_set() {  # number, title, extension pattern, miniskop pattern, is-jpeg
    local num=$1 title=$2 ext=$3 mpattern=$4 jpeg=$5
    pictures=$work/set$num
    local n
    n=$(collect_wallpapers "$pictures" "$ext")
    echo "== Set $num: $title: $n pictures, $(du -sh "$pictures" | cut -f1), $(describe_pictures "$pictures")"
    # The pictures only (miniskop's thumbnail folder appears beside them).
    local files=("$pictures"/[0-9]*)
    read -r m_s m_kb < <(measure "$repeat" "$batch" "${jobs_arg[@]}" --quiet --size 120 \
        --quality 90 --pattern "$mpattern" "$pictures")
    read -r v_s v_kb < <(measure "$repeat" vipsthumbnail -s 120 -o "$work/out/%s.jpg[Q=90]" \
        "${files[@]}")
    local define=()
    ((jpeg)) && define=(-define jpeg:size=240x240)
    read -r i_s i_kb < <(measure "$repeat" mogrify -path "$work/out" "${define[@]}" \
        -thumbnail 120x120 -quality 90 -format jpg "${files[@]}")
    header
    row miniskop-batch "$m_s" "$m_kb" "$m_s" "$m_kb"
    row vipsthumbnail "$v_s" "$v_kb" "$m_s" "$m_kb"
    row mogrify "$i_s" "$i_kb" "$m_s" "$m_kb"
    if ((jpeg)); then
        read -r d_s d_kb < <(measure "$repeat" sh -c \
            'for f in "$@"; do djpeg -scale 1/8 -outfile /dev/null "$f"; done' sh "${files[@]}")
        local limit
        limit=$(awk -v s="$d_s" -v c="$cores" 'BEGIN { printf "%.3f", s / c }')
        row "decode limit (/$cores)" "$limit" "$d_kb" "$m_s" "$m_kb"
    fi
    awk -v m="$m_s" -v v="$v_s" 'BEGIN { printf "miniskop is %.2fx as fast as vipsthumbnail\n", v / m }'
    # Quality of the thumbnails of one more miniskop run.
    "$batch" "${jobs_arg[@]}" --quiet --size 120 --quality 90 --pattern "$mpattern" "$pictures" \
        >/dev/null 2>&1 || true
    read -r q_min q_mean f_min f_mean < <(quality "$pictures")
    echo "thumbnail PSNR against a box-averaged full decode: min $q_min dB, mean $q_mean dB"
    echo "  (that reference itself after the same JPEG encoding: min $f_min dB, mean $f_mean dB)"
    rm -rf "$pictures"
    echo
}

for set in $sets; do
    case $set in
        1) picture_set 1 "JPEG photographs" '\.jpe?g$' '*.jpg;*.jpeg' 1 ;;
        2) picture_set 2 "PNG and WebP pictures" '\.(png|webp)$' '*.png;*.webp' 0 ;;
        3)
            echo "== Set 3: scale (one run per count)"
            gen=$work/gen
            mkdir -p "$gen"
            # Eight distinct 1-megapixel photographs (1152x864) and eight tiny
            # pictures (16x12), cut from the wallpapers; copies fill the counts.
            src=$(dpkg -L plasma-workspace-wallpapers | grep -iE '\.jpe?g$' | awk 'NR <= 8')
            k=0
            for f in $src; do
                k=$((k + 1))
                vipsthumbnail -s 1152x864! -o "$gen/mp$k.jpg[Q=90]" "$f" 2>/dev/null
                vipsthumbnail -s 16x12! -o "$gen/tiny$k.jpg[Q=90]" "$f" 2>/dev/null
            done
            printf '%-26s %8s %10s %16s %14s\n' pictures count "wall (s)" "ms per picture" "peak RSS (MB)"
            for kind in mp tiny; do
                counts=$scale_mp
                [[ $kind == tiny ]] && counts=$scale_tiny
                for count in $counts; do
                    pictures=$work/scale
                    rm -rf "$pictures"
                    mkdir -p "$pictures"
                    # Hard links, made in one process (a fork per file would take minutes).
                    perl -e 'my ($gen, $kind, $k, $n, $dir) = @ARGV;
                        for my $i (0 .. $n - 1) {
                            link(sprintf("%s/%s%d.jpg", $gen, $kind, $i % $k + 1),
                                 sprintf("%s/%06d.jpg", $dir, $i)) or die "link: $!\n";
                        }' "$gen" "$kind" "$k" "$count" "$pictures"
                    read -r s kb < <(measure 1 "$batch" "${jobs_arg[@]}" --quiet --size 120 \
                        --quality 90 --pattern '*.jpg' "$pictures")
                    label="1-megapixel JPEG"
                    [[ $kind == tiny ]] && label="tiny JPEG (16x12)"
                    awk -v l="$label" -v n="$count" -v s="$s" -v kb="$kb" 'BEGIN {
                        printf "%-26s %8d %10.2f %16.3f %14.1f\n", l, n, s, 1000 * s / n, kb / 1024 }'
                    rm -rf "$pictures"
                done
            done
            echo
            ;;
        4)
            echo "== Set 4: one 100-megapixel picture (13334x7500)"
            big=$work/big
            mkdir -p "$big"
            first=$(dpkg -L plasma-workspace-wallpapers | grep -E '5120x2880\.jpe?g$' | awk 'NR == 1')
            vips resize "$first" "$big/huge.v" 2.6043 >/dev/null
            for kind in jpg png; do
                pictures=$work/set4
                rm -rf "$pictures"
                mkdir -p "$pictures"
                vips copy "$big/huge.v" "$pictures/huge.$kind" >/dev/null
                size=$(du -h "$pictures/huge.$kind" | cut -f1)
                read -r m_s m_kb < <(measure "$repeat" "$batch" "${jobs_arg[@]}" --quiet \
                    --size 120 --quality 90 --pattern "*.$kind" "$pictures")
                read -r v_s v_kb < <(measure "$repeat" vipsthumbnail -s 120 \
                    -o "$work/out/%s.jpg[Q=90]" "$pictures/huge.$kind")
                echo "-- $kind, $size"
                header
                row miniskop-batch "$m_s" "$m_kb" "$m_s" "$m_kb"
                row vipsthumbnail "$v_s" "$v_kb" "$m_s" "$m_kb"
                rm -rf "$pictures"
            done
            echo
            ;;
        5)
            echo "== Set 5: file list of a folder with 100,000 entries"
            build=$(dirname "$batch")
            listing=$work/list
            mkdir -p "$listing"
            if ! c++ -O2 -std=c++20 -fPIC -I"$here/../run" -I"$here/../common" \
                "$here/list-bench.cpp" "$build/run/libminiskop_run.a" \
                "$build/common/libminiskop_common.a" $(pkg-config --cflags --libs Qt6Core) \
                -o "$work/list-bench"; then
                echo "perf-bench: cannot build list-bench against $build" >&2
                continue
            fi
            # Names in no particular order, six extensions, mixed case.
            (cd "$listing" && awk 'BEGIN {
                split("Foto bild IMG urlaub Scan", stem, " ")
                split("jpg JPG png bmp txt gif", ext, " ")
                srand(1)
                for (i = 0; i < 100000; i++)
                    printf "%s_%07d_%d.%s\n", stem[int(rand() * 5) + 1], int(rand() * 1e7), i,
                           ext[int(rand() * 6) + 1]
            }' | xargs touch)
            printf '%-40s %10s %10s\n' pattern entries "best (ms)"
            for pattern in '*.*' '*.bmp;*.jpg;*.jpeg;*.gif;*.wmf' 'bild_*.png'; do
                read -r count ms < <("$work/list-bench" "$listing" "$pattern" 5)
                printf '%-40s %10d %10.1f\n' "$pattern" "$count" "$ms"
            done
            rm -rf "$listing"
            echo
            ;;
    esac
done
echo "Ratios are tool / miniskop-batch: above 1 means slower or larger than miniskop-batch."
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
