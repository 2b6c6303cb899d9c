#!/usr/bin/env bash
# Kills miniskop-batch with SIGKILL at random instants while it works on the
# wallpaper photographs, counts what the killed runs left in the thumbnail
# folder (temporary files), then lets one run complete and compares the
# folder with that of an uninterrupted run, byte for byte. Then starts two
# runs on the folder at once, several times: both must succeed and leave
# the same folder.
#   bench/kill-bench.sh BATCH [KILLS] [PAIRS]   (default 100 kills, 10 pairs)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/common.sh
source "$here/common.sh"

batch=$(readlink -f "${1:?usage: $0 path/to/miniskop-batch [KILLS]}")
kills=${2:-100}
pairs=${3:-10}
install_missing plasma-workspace-wallpapers gnome-backgrounds

work=$(mktemp -d /tmp/miniskop-kill.XXXXXX)
trap 'rm -rf "$work"' EXIT
n=$(collect_wallpapers "$work/pics" '\.(jpe?g|png)$')
mkdir -p "$work/config"
export XDG_CONFIG_HOME=$work/config
echo "$n pictures ($(describe_pictures "$work/pics"))"

# The reference: one uninterrupted run, timed to choose the kill instants.
start=$(date +%s%N)
"$batch" --quiet --pattern '*.jpg;*.jpeg;*.png' "$work/pics" >/dev/null 2>&1 || true
full_ms=$((($(date +%s%N) - start) / 1000000))
mv "$work/pics/Thumbnails" "$work/reference"
echo "uninterrupted run: ${full_ms} ms"

debris_total=0
debris_kills=0
for ((k = 1; k <= kills; k++)); do
    "$batch" --quiet --pattern '*.jpg;*.jpeg;*.png' "$work/pics" >/dev/null 2>&1 &
    pid=$!
    sleep "$(awk -v ms="$full_ms" -v r="$RANDOM" 'BEGIN { printf "%.3f", ms * r / 32767 / 1000 }')"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # What this kill left; the next run's start may clean it away.
    seen=$(find "$work/pics/Thumbnails" -name '.miniskop-tmp-*' 2>/dev/null | wc -l)
    debris_total=$((debris_total + seen))
    ((seen == 0)) || debris_kills=$((debris_kills + 1))
done
before=$(find "$work/pics/Thumbnails" -name '.miniskop-tmp-*' | wc -l)
echo "$kills kills: $debris_kills left temporary files right after the kill ($debris_total in all);"
echo "  $before in the thumbnail folder after the last kill"

"$batch" --quiet --pattern '*.jpg;*.jpeg;*.png' "$work/pics" >/dev/null 2>&1 || true
left=$(find "$work/pics/Thumbnails" -name '.miniskop-tmp-*' | wc -l)
if diff -r "$work/reference" "$work/pics/Thumbnails" >/dev/null; then same=yes; else same=no; fi
echo "after one complete run: $left temporary files; folder identical to the uninterrupted run: $same"

failed_pairs=0
for ((p = 1; p <= pairs; p++)); do
    "$batch" --quiet --pattern '*.jpg;*.jpeg;*.png' "$work/pics" >/dev/null 2>"$work/a.err" &
    a=$!
    "$batch" --quiet --pattern '*.jpg;*.jpeg;*.png' "$work/pics" >/dev/null 2>"$work/b.err" &
    b=$!
    wait "$a" || { failed_pairs=$((failed_pairs + 1)); cat "$work/a.err"; }
    wait "$b" || { failed_pairs=$((failed_pairs + 1)); cat "$work/b.err"; }
done
left=$(find "$work/pics/Thumbnails" -name '.miniskop-tmp-*' | wc -l)
if diff -r "$work/reference" "$work/pics/Thumbnails" >/dev/null; then same=yes; else same=no; fi
echo "$pairs pairs of simultaneous runs: $failed_pairs runs failed, $left temporary files, folder identical: $same"
