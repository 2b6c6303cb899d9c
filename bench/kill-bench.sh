#!/usr/bin/env bash
# Kills miniskop-batch with SIGKILL at random instants while it works on the
# wallpaper photographs, counts what the killed runs left in the thumbnail
# folder (temporary files), then lets one run complete and compares the
# folder with that of an uninterrupted run, byte for byte.
#   bench/kill-bench.sh BATCH [KILLS]      (default 100 kills)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/common.sh
source "$here/common.sh"

batch=$(readlink -f "${1:?usage: $0 path/to/miniskop-batch [KILLS]}")
kills=${2:-100}
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

debris_seen=0
for ((k = 1; k <= kills; k++)); do
    "$batch" --quiet --pattern '*.jpg;*.jpeg;*.png' "$work/pics" >/dev/null 2>&1 &
    pid=$!
    sleep "$(awk -v ms="$full_ms" -v r="$RANDOM" 'BEGIN { printf "%.3f", ms * r / 32767 / 1000 }')"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    debris_seen=$(find "$work/pics/Thumbnails" -name '.miniskop-tmp-*' 2>/dev/null | wc -l)
done
echo "after $kills kills: $debris_seen temporary files in the thumbnail folder"

"$batch" --quiet --pattern '*.jpg;*.jpeg;*.png' "$work/pics" >/dev/null 2>&1 || true
left=$(find "$work/pics/Thumbnails" -name '.miniskop-tmp-*' | wc -l)
if diff -r "$work/reference" "$work/pics/Thumbnails" >/dev/null; then same=yes; else same=no; fi
echo "after one complete run: $left temporary files; folder identical to the uninterrupted run: $same"
