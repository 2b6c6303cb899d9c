#!/bin/bash
# First benchmark: miniskop-batch against vipsthumbnail and ImageMagick's
# mogrify on the JPEG wallpapers of Debian's plasma-workspace-wallpapers and
# gnome-backgrounds (about 40 pictures, up to 5120x2880). Each tool makes
# 120-pixel thumbnails of all of them in one process; every tool runs REPEAT
# times (default 3) and the fastest run counts. Prints wall time and peak
# memory (maximum resident set size) with ratios against miniskop-batch.
#
# Usage: bench/run-bench.sh [PATH-TO-miniskop-batch]
#   default: build/miniskop-batch of this checkout (use a Release build).
#   REPEAT=5 bench/run-bench.sh   more runs per tool
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
batch=${1:-${MINISKOP_BATCH:-$here/../build/miniskop-batch}}
repeat=${REPEAT:-3}
packages=(plasma-workspace-wallpapers gnome-backgrounds libvips-tools imagemagick time)

if [[ ! -x $batch ]]; then
    echo "run-bench: no miniskop-batch at $batch (build it, or pass its path)" >&2
    exit 2
fi

install_missing "${packages[@]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/miniskop-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
pictures=$work/pictures
mkdir -p "$pictures"

n=$(collect_wallpapers "$pictures" '\.jpe?g$')
if ((n == 0)); then
    echo "run-bench: the packages hold no JPEG files" >&2
    exit 1
fi
pixels=$(describe_pictures "$pictures")
echo "$n JPEG pictures, $(du -sh "$pictures" | cut -f1), $pixels"
echo "machine: $(nproc) cores; best of $repeat runs per tool"
echo

# Runs one tool REPEAT times; prints "seconds kilobytes thumbnails" of the
# fastest run. $1 is a shell snippet that prepares the output folder $out,
# the rest is the command.
measure() {
    local prepare=$1
    shift
    local best_s="" best_kb="" made=0
    for ((r = 1; r <= repeat; r++)); do
        out=$work/out
        rm -rf "$out" "$pictures/Thumbnails"
        mkdir -p "$out"
        eval "$prepare"
        /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
            echo "run-bench: failed: $*" >&2
            cat "$work/stderr.txt" >&2
            exit 1
        }
        local s kb
        read -r s kb < <(time_report "$work/time.txt")
        if is_faster "$s" "$best_s"; then
            best_s=$s
            best_kb=$kb
            made=$( (find "$out" "$pictures/Thumbnails" -name '*.jpg' 2>/dev/null || true) | wc -l)
        fi
    done
    echo "$best_s $best_kb $made"
}

read -r m_s m_kb m_n < <(measure ':' "$batch" --quiet "$pictures")
read -r v_s v_kb v_n < <(measure ':' vipsthumbnail -s 120 -o "$work/out/%s.jpg" "$pictures"/*.jpg)
read -r i_s i_kb i_n < <(measure ':' mogrify -path "$work/out" -thumbnail 120x120 "$pictures"/*.jpg)

if [[ -z ${m_s:-} || -z ${v_s:-} || -z ${i_s:-} ]]; then
    echo "run-bench: a tool could not be measured" >&2
    exit 1
fi
printf '%-16s %10s %12s %14s %12s %11s\n' tool "wall (s)" "time ratio" "peak RSS (MB)" "RSS ratio" thumbnails
row() {
    awk -v t="$1" -v s="$2" -v kb="$3" -v n="$4" -v ms="$m_s" -v mkb="$m_kb" 'BEGIN {
        printf "%-16s %10.2f %11.2fx %14.1f %11.2fx %11d\n", t, s, s / ms, kb / 1024, kb / mkb, n }'
}
row miniskop-batch "$m_s" "$m_kb" "$m_n"
row vipsthumbnail "$v_s" "$v_kb" "$v_n"
row mogrify "$i_s" "$i_kb" "$i_n"
echo
echo "Ratios are tool / miniskop-batch: above 1 means slower or larger than miniskop-batch."
