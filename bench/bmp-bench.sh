#!/bin/bash
# Large 24-bit BMPs, one picture a run: a 5120x2880 wallpaper photograph
# converted by ImageMagick, and the same picture stretched to 8000x8000
# (192 MB). miniskop-batch (-j 1) against vipsthumbnail and, when given, a
# second miniskop-batch (an older build, say). Each tool runs REPEAT times
# (default 3) on files in the page cache; the fastest run counts. Peak
# memory: the maximum resident set (GNU time).
#
# Usage: bench/bmp-bench.sh [PATH-TO-miniskop-batch [OTHER-miniskop-batch]]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
batch=${1:-$here/../build/miniskop-batch}
other=${2:-}
repeat=${REPEAT:-3}
install_missing plasma-workspace-wallpapers imagemagick libvips-tools time

work=$(mktemp -d "${TMPDIR:-/tmp}/miniskop-bmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$work/wall" "$work/big"
photo=$(dpkg -L plasma-workspace-wallpapers | grep -E '/5120x2880\.jpg$' | head -1)
convert "$photo" -type TrueColor BMP3:"$work/wall/wall.bmp"
convert "$photo" -resize '8000x8000!' -type TrueColor BMP3:"$work/big/big.bmp"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"

# Runs a command REPEAT times in folder $1; prints "seconds kilobytes" of
# the fastest run.
fastest() {
    local folder=$1 best="" line
    shift
    for ((r = 1; r <= repeat; r++)); do
        rm -rf "$folder/Thumbnails" "$work/out" && mkdir -p "$work/out"
        /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>&1
        line=$(cat "$work/time.txt")
        if [[ -z $best ]] || is_faster "${line%% *}" "${best%% *}"; then best=$line; fi
    done
    echo "$best"
}

printf '%-12s %-34s %8s %10s\n' set tool seconds "peak MB"
for set in wall big; do
    folder=$work/$set
    tools=("miniskop-batch" "vipsthumbnail")
    [[ -n $other ]] && tools+=("other")
    for tool in "${tools[@]}"; do
        case $tool in
            miniskop-batch) result=$(fastest "$folder" "$batch" -q -j 1 "$folder") ;;
            other) result=$(fastest "$folder" "$other" -q -j 1 "$folder") ;;
            *) result=$(fastest "$folder" vipsthumbnail -s 120 -o "$work/out/%s.jpg" "$folder/$set.bmp") ;;
        esac
        name=$tool
        [[ $tool == other ]] && name=$other
        printf '%-12s %-34s %8s %10.0f\n' "$set" "$name" "${result%% *}" \
            "$(awk -v kb="${result##* }" 'BEGIN { print kb / 1024 }')"
    done
done
