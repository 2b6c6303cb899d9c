#!/usr/bin/env bash
# Photo-archive figures of miniskop-batch:
#   1. --update with nothing changed against a full run, on the wallpaper
#      photographs (JPEG and PNG);
#   2. a tree of 200 folders holding one picture each against one folder
#      holding the same 200 pictures;
#   3. --recursive over 10,000 and 100,000 small pictures spread over 100 and
#      1,000 folders: time per picture and peak memory.
# Each figure is the best of REPEAT runs (default 3; the large tree runs once).
#   bench/archive-bench.sh [BATCH]      default build/miniskop-batch
set -euo pipefail
sections=${SECTIONS:-1 2 3}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/common.sh
source "$here/common.sh"
batch=$(readlink -f "${1:-$here/../build/miniskop-batch}")
repeat=${REPEAT:-3}
install_missing plasma-workspace-wallpapers gnome-backgrounds imagemagick time

work=$(mktemp -d /tmp/miniskop-archive.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"

# Runs the batch tool with the arguments; prints "seconds kilobytes" of the
# best of $runs runs, each after the snippet $prepare.
best_of() {
    local runs=$1 prepare=$2
    shift 2
    local best_s="" best_kb=""
    for ((r = 1; r <= runs; r++)); do
        eval "$prepare"
        /usr/bin/time -v -o "$work/time.txt" "$batch" --quiet "$@" >/dev/null 2>"$work/err.txt" ||
            { grep -v 'pictures failed' "$work/err.txt" >&2 || true; }
        read -r s kb < <(time_report "$work/time.txt")
        if is_faster "$s" "$best_s"; then best_s=$s; best_kb=$kb; fi
    done
    echo "$best_s $best_kb"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }'; }

n=$(collect_wallpapers "$work/walls" '\.(jpe?g|png)$')
if [[ " $sections " == *" 1 "* ]]; then
echo "== 1. --update with nothing changed"
echo "$n pictures ($(describe_pictures "$work/walls"))"
pattern='*.jpg;*.jpeg;*.png'
read -r full_s full_kb < <(best_of "$repeat" 'rm -rf "$work/walls/Thumbnails"' --pattern "$pattern" "$work/walls")
read -r upd_s upd_kb < <(best_of "$repeat" ':' --update --pattern "$pattern" "$work/walls")
echo "full run ${full_s} s, ${full_kb} KB; --update ${upd_s} s, ${upd_kb} KB; $(ratio "$full_s" "$upd_s")x faster"

fi

if [[ " $sections " == *" 2 "* ]]; then
echo "== 2. 200 folders of one picture against one folder of 200"
mkdir -p "$work/one" "$work/tree"
walls=("$work"/walls/*.jpg)
for ((i = 0; i < 200; i++)); do
    src=${walls[$((i % ${#walls[@]}))]}
    cp "$src" "$work/one/$(printf '%03d' "$i").jpg"
    mkdir -p "$work/tree/$(printf '%03d' "$i")"
    cp "$src" "$work/tree/$(printf '%03d' "$i")/$(printf '%03d' "$i").jpg"
done
clean_one='rm -rf "$work/one/Thumbnails"'
clean_tree='find "$work/tree" -name Thumbnails -type d -prune -exec rm -rf {} +'
read -r one_s one_kb < <(best_of "$repeat" "$clean_one" "$work/one")
read -r tree_s tree_kb < <(best_of "$repeat" "$clean_tree" -r "$work/tree")
echo "one folder ${one_s} s, ${one_kb} KB; 200 folders ${tree_s} s, ${tree_kb} KB; tree/one $(ratio "$tree_s" "$one_s")"

fi

if [[ " $sections " == *" 3 "* ]]; then
echo "== 3. --recursive over many small pictures"
# 100 small pictures, hard-linked into every folder (one link each per
# folder stays far below a file system's link limit).
mkdir -p "$work/small"
for ((p = 0; p < 100; p++)); do
    convert -size 400x300 "gradient:rgb($((p * 2)),0,0)-blue" "$work/small/$p.jpg"
done
for total in 10000 100000; do
    folders=$((total / 100))
    rm -rf "$work/many"
    for ((f = 0; f < folders; f++)); do
        d="$work/many/$(printf '%04d' "$f")"
        mkdir -p "$d"
        for ((p = 0; p < 100; p++)); do ln "$work/small/$p.jpg" "$d/$(printf '%03d' "$p").jpg"; done
    done
    read -r s kb < <(best_of 1 ':' -r "$work/many")
    per=$(awk -v s="$s" -v n="$total" 'BEGIN { printf "%.1f", s * 1e6 / n }')
    echo "$total pictures in $folders folders: ${s} s (${per} us a picture), peak ${kb} KB"
done
fi
