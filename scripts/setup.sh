#!/usr/bin/env bash
# Installs what Miniskop needs from Debian's packages, builds it, and then
#   start: starts the desktop program (or, without a display, runs the batch
#          tool on a copy of the samples and prints where the page is);
#   screenshots: remakes the README's pictures in docs/ from samples/;
#   test:  checks the formatting of the C++ sources, runs every test, then the
#          whole suite again under ASan + UBSan, the run's suites under TSan,
#          and a short smoke run of every fuzz target.
# Run as root on Debian 12 (apt-get needs it).
set -euo pipefail

cd "$(dirname "$0")/.."
mode="${1:-start}"

# Everything the default build uses: the libraries, the tests' frameworks and
# rsvg-convert for the application icon's PNGs.
build_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-svg-dev libqt6opengl6-dev
    qt6-image-formats-plugins qt6-qpa-plugins
    libturbojpeg0-dev libjpeg62-turbo-dev libwmf-dev libpng-dev libwebp-dev fonts-urw-base35
    libgtest-dev libgmock-dev librsvg2-bin
    libspng-dev libdeflate-dev libtiff-dev libheif-dev libjxl-dev liblcms2-dev libgif-dev
)
test_packages=(
    clang-format xvfb xauth x11-apps imagemagick
    at-spi2-core python3-pyatspi dbus-x11 python3
    clang clang-14 libclang-rt-14-dev
    desktop-file-utils appstream dpkg-dev fakeroot file groff-base xdg-utils
    libheif-examples libavif-bin libjxl-tools libvips-tools colord-data icc-profiles-free
    libtiff-tools libjpeg-turbo-progs valgrind
)
# Only for scripts/screenshots.sh (the README's pictures), not for the tests.
screenshot_packages=(xvfb xauth xdotool imagemagick chromium)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "== installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"
    fi
}

# Every tracked C++ file must be formatted as .clang-format says.
check_format() {
    local files
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
    ((${#files[@]})) || { echo "no C++ files found (not a git checkout?)" >&2; return 1; }
    clang-format --dry-run -Werror "${files[@]}"
}

build() {  # preset
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$(nproc)"
}

case "$mode" in
start)
    install_missing "${build_packages[@]}"
    build release
    work="$(mktemp -d /tmp/miniskop-samples.XXXXXX)"
    cp samples/* "$work/"
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        [ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
        echo "== starting Miniskop in $work (the sample pictures)"
        cd "$work" && exec "$OLDPWD/build/miniskop"
    else
        echo "== no display: making thumbnails of the samples with miniskop-batch"
        ./build/miniskop-batch "$work"
    fi
    ;;
test)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    export QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=offscreen
    echo "== formatting"
    check_format
    echo "== release build and tests"
    build release
    ctest --preset release
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    build asan
    ctest --preset asan
    echo "== ThreadSanitizer build and the run's tests"
    build tsan
    ctest --preset tsan
    echo "== fuzz targets: a short smoke run of each"
    bash scripts/fuzz-smoke.sh 2000
    ;;
screenshots)
    install_missing "${build_packages[@]}" "${screenshot_packages[@]}"
    build release
    bash scripts/screenshots.sh "$PWD/build"
    ;;
*)
    echo "usage: $0 start|test|screenshots" >&2
    exit 2
    ;;
esac
