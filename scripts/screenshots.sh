#!/usr/bin/env bash
# Makes the README's two screenshots from the sample pictures:
#   docs/screenshot-window.png  the desktop program after a run over samples/,
#   docs/screenshot-page.png    the overview page that run wrote, as headless
#                               Chromium draws it.
# The program runs on a virtual X display (xvfb-run) in a copy of samples/; the
# script clicks "Thumbnails erzeugen" with xdotool, waits for the page window,
# moves it aside and photographs the main window with ImageMagick's import.
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/, built with the
# release preset when the programs are missing there)
# Needs: xvfb (xvfb-run), xauth, xdotool, imagemagick, chromium.
set -euo pipefail

cd "$(dirname "$0")/.."
repo=$(pwd)
build=$(realpath -m "${1:-build}")

need=(xvfb-run:xvfb xauth:xauth xdotool:xdotool import:imagemagick convert:imagemagick
    chromium:chromium)
for entry in "${need[@]}"; do
    command -v "${entry%%:*}" >/dev/null ||
        { echo "screenshots: ${entry%%:*} is missing (Debian package ${entry#*:})" >&2; exit 2; }
done

if [ ! -x "$build/miniskop" ]; then
    if [ "$build" != "$repo/build" ]; then
        echo "screenshots: no $build/miniskop" >&2
        exit 2
    fi
    cmake --preset release >/dev/null
    cmake --build --preset release --target miniskop
fi

# The pictures go to a short, fixed folder, since its path shows in both
# pictures; a marker file says it is this script's own to wipe.
pics=/tmp/Beispielbilder
if [ -e "$pics" ]; then
    [ -e "$pics/.miniskop-screenshots" ] ||
        { echo "screenshots: $pics exists and is not ours" >&2; exit 2; }
    rm -rf "$pics"
fi
work=$(mktemp -d /tmp/miniskop-screenshots.XXXXXX)
trap 'rm -rf "$work" "$pics"' EXIT
mkdir "$pics"
touch "$pics/.miniskop-screenshots"
cp samples/*.jpg samples/*.bmp samples/*.gif samples/*.wmf "$pics/"
mkdir -p docs

# --- the window, on a virtual display ------------------------------------------
# The part that runs inside xvfb-run: start the program in the picture folder,
# click the run button, wait for the page window, photograph the main window.
cat >"$work/inside.sh" <<'EOF'
set -euo pipefail
program=$1 pics=$2 out=$3 scratch=$4
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
# Fixed look: no user settings file, no desktop theme.
export XDG_CONFIG_HOME="$scratch/config" QT_QPA_PLATFORMTHEME=
(cd "$pics" && exec "$program") >"$scratch/program.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

find_window() {  # title; waits up to 60 s
    local id
    for _ in $(seq 120); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.5
    done
    echo "screenshots: no window \"$1\"" >&2
    cat "$scratch/program.log" >&2
    return 1
}

main=$(find_window "Thumbnails")
xdotool windowmove --sync "$main" 0 0
sleep 1
# "Thumbnails erzeugen" sits at the right of the banner: 130 x 57 pixels at
# (444, 4) of the window's client area.
xdotool mousemove --window "$main" 509 32 click 1
page=$(find_window "Thumbnail-Übersicht")
# The page window opens over the main window: move it aside, let both draw.
xdotool windowmove --sync "$page" 700 0
sleep 4
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
EOF
echo "== the window (xvfb-run)"
xvfb-run -a -s "-screen 0 1280x800x24" \
    bash "$work/inside.sh" "$build/miniskop" "$pics" "$work/window.png" "$work"

page_file=$(find "$pics" -name ThumbIndex.html | head -1)
[ -n "$page_file" ] || { echo "screenshots: the run wrote no page" >&2; exit 1; }

# --- the page, drawn by headless Chromium ---------------------------------------
echo "== the page (chromium --headless)"
(cd "$work" && chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --window-size=900,210 --screenshot="$work/page.png" "file://$page_file") \
    >"$work/chromium.log" 2>&1 || { cat "$work/chromium.log" >&2; exit 1; }

# Small files for the repository: a palette of 128 colours, no metadata.
for shot in window page; do
    convert "$work/$shot.png" -strip -colors 128 "PNG8:$repo/docs/screenshot-$shot.png"
    echo "docs/screenshot-$shot.png: $(identify -format '%wx%h' "$repo/docs/screenshot-$shot.png"), $(du -k "$repo/docs/screenshot-$shot.png" | cut -f1) KiB"
done
