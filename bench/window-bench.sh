#!/bin/bash
# A second run from the desktop program's window over an unchanged folder
# against the first one, on 600 and 3,000 photographs (the wallpapers of
# Debian's packages, each under several names: hard links, so the set costs
# no disk), timed from the click on "Thumbnails erzeugen" to the new page
# (bench/window-rerun.cpp drives the window class offscreen). The second run
# should decode nothing and touch no thumbnail. For comparison, the batch
# tool's --update over the same folder.
#
# Usage: bench/window-bench.sh [BUILD-DIR]   (default build/, a Release build)
#   COUNTS="600" bench/window-bench.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
build=$(cd "${1:-$here/../build}" && pwd)
install_missing plasma-workspace-wallpapers gnome-backgrounds time
cmake --build "$build" --target window-rerun-bench miniskop-batch -j2 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/miniskop-window.XXXXXX")
trap 'rm -rf "$work"' EXIT
originals=$(collect_wallpapers "$work/src" '\.(jpe?g|png)$')
echo "$originals wallpaper photographs, $(describe_pictures "$work/src")"
printf '%8s %12s %12s %8s %9s %14s\n' pictures "first (s)" "second (s)" ratio touched \
    "batch -u (s)"
for count in ${COUNTS:-600 3000}; do
    set=$work/set$count
    mkdir -p "$set"
    n=0
    while ((n < count)); do
        for f in "$work"/src/*; do
            ((n < count)) || break
            ln "$f" "$set/$(printf '%05d' "$n")_$(basename "$f")"
            n=$((n + 1))
        done
    done
    read -r pictures first second ratio touched < <(
        QT_QPA_PLATFORM=offscreen "$build/bench/window-rerun-bench" "$set" '*.jpg;*.jpeg;*.png' \
            2>"$work/err.txt" || cat "$work/err.txt" >&2)
    /usr/bin/time -v -o "$work/time.txt" "$build/miniskop-batch" --quiet --update \
        --pattern '*.jpg;*.jpeg;*.png' "$set" >/dev/null
    read -r batch _ < <(time_report "$work/time.txt")
    printf '%8d %12.2f %12.2f %8.3f %9d %14.2f\n' "$pictures" "$first" "$second" "$ratio" \
        "$touched" "$batch"
    rm -rf "$set"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
