#!/usr/bin/env bash
# The Debian package from build to removal: CPack builds it from the finished
# build tree into a temporary folder (the build tree stays as it was), apt-get
# installs it, the installed miniskop-batch runs from PATH on a copy of the
# samples with the user's settings file, and apt-get remove --purge takes every
# file away again.
#
# Usage: deb-roundtrip.sh BUILD_DIR SAMPLES_DIR VERSION HAS_DESKTOP_PROGRAM(0|1)
# Exit 77 (skipped) only when not root, or when a tool it needs is missing (the
# message names the Debian package to install).
set -euo pipefail

build=$(cd "$1" && pwd)
samples=$(cd "$2" && pwd)
version=$3
has_ui=$4

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }
step() { echo "== $*"; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v dpkg >/dev/null && command -v apt-get >/dev/null || skip "no dpkg/apt-get here"
tools=(cpack:cmake dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev flock:util-linux file:file)
if [ "$has_ui" = 1 ]; then
    tools+=(desktop-file-validate:desktop-file-utils appstreamcli:appstream)
fi
for entry in "${tools[@]}"; do
    command -v "${entry%%:*}" >/dev/null ||
        skip "${entry%%:*} is missing (Debian package ${entry#*:})"
done

# Several build trees on one machine: one package test at a time.
exec 9>/tmp/miniskop-deb-roundtrip.lock
flock -w 1200 9 || fail "another package test holds the lock"

if dpkg-query -W -f='${Status}' miniskop 2>/dev/null | grep -q "installed"; then
    fail "a package miniskop is installed already; remove it first (apt-get remove --purge miniskop)"
fi

work=$(mktemp -d /tmp/miniskop-deb.XXXXXX)
chmod 755 "$work"   # apt's download user reads the package from here
installed=0
cleanup() {
    if ((installed)); then
        apt-get remove --purge -y -qq miniskop >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

tree_listing() {  # top level of the build tree, without the install manifest
    find "$build" -maxdepth 1 -mindepth 1 ! -name install_manifest.txt -printf '%f\n' | sort
}
before=$(tree_listing)

step "cpack into $work/pkg"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
mapfile -t debs < <(find "$work/pkg" -maxdepth 1 -name "miniskop_${version}_*.deb")
((${#debs[@]} == 1)) || { ls -l "$work/pkg"; fail "expected one miniskop_${version}_*.deb"; }
deb=${debs[0]}
echo "$(basename "$deb"): $(du -h "$deb" | cut -f1)"

step "control fields"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Versioned library dependencies are what dpkg-shlibdeps writes.
for lib in libc6 libqt6core6 libqt6gui6 libturbojpeg0 libwmf-0.2-7 libspng0 libdeflate0 libtiff6 \
    libheif1 libjxl0.7 liblcms2-2; do
    grep -Eq "(^|, )$lib \(>= [^)]+\)" <<<"$depends" || fail "Depends lacks $lib (>= ...)"
done
if [ "$has_ui" = 1 ]; then
    for lib in libqt6widgets6 libqt6webenginewidgets6 libqt6svg6; do
        grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib"
    done
    # " Browser" goes through xdg-open.
    grep -Eq "(^|, )xdg-utils(,|$)" <<<"$(dpkg-deb -f "$deb" Recommends)" ||
        fail "Recommends lacks xdg-utils"
fi
[ "$(dpkg-deb -f "$deb" Package)" = miniskop ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "section"

step "contents"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
expect=(/usr/bin/miniskop-batch /usr/share/man/man1/miniskop-batch.1.gz)
if [ "$has_ui" = 1 ]; then
    expect+=(/usr/bin/miniskop /usr/share/man/man1/miniskop.1.gz
        /usr/share/applications/de.miniskop.Miniskop.desktop
        /usr/share/metainfo/de.miniskop.Miniskop.metainfo.xml
        /usr/share/icons/hicolor/scalable/apps/de.miniskop.Miniskop.svg)
    for s in 16 32 48 64 128 256; do
        expect+=("/usr/share/icons/hicolor/${s}x${s}/apps/de.miniskop.Miniskop.png")
    done
fi
for f in "${expect[@]}"; do
    grep -qx "$f" "$work/contents" || fail "package lacks $f"
done
if grep -v '^/usr/' "$work/contents" | grep -v '^/$' | grep -q .; then
    fail "files outside /usr: $(grep -v '^/usr/' "$work/contents" | grep -v '^/$')"
fi

step "apt-get install"
(cd "$work/pkg" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    -o DPkg::Lock::Timeout=600 "./$(basename "$deb")") >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "apt-get install"; }
installed=1
dpkg-query -W -f='${Status}\n' miniskop | grep -qx "install ok installed" || fail "not installed"

step "miniskop-batch from PATH on the samples"
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
[ "$(command -v miniskop-batch)" = /usr/bin/miniskop-batch ] ||
    fail "miniskop-batch on PATH is $(command -v miniskop-batch || echo nothing)"
[ "$(miniskop-batch --version)" = "miniskop-batch $version" ] || fail "--version"
file -b /usr/bin/miniskop-batch | grep -q "stripped" || fail "not an executable"
file -b /usr/bin/miniskop-batch | grep -q "not stripped" && fail "binary not stripped"

mkdir -p "$work/pics" "$work/home/.config/Miniskop"
cp "$samples"/*.{jpg,bmp,gif,wmf} "$work/pics/"
# The installed program reads the user's settings file (all six settings, as
# the desktop program saves them): 64-pixel thumbnails in the folder "Klein",
# quality 80; the option --prefix adds the name prefix "k_".
{
    printf '[Groesse_der_Miniaturbilder]\r\ngroesseMin=64\r\n'
    printf '[Anzahl_der_Miniaturbilder]\r\nanzTabelle=3\r\n'
    printf '[Name_der_Html_Seite]\r\nnameHTML=ThumbIndex.html\r\n'
    printf '[Name_des_ThumbnailOrdners]\r\nnameOrdner=Klein\r\n'
    printf '[JPG-Qualitaet]\r\nqJPG=80\r\n'
    printf '[Erweiterung]\r\noptE=True\r\n'
} >"$work/home/.config/Miniskop/Miniskop.ini"
set +e
(cd "$work/pics" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    QT_QPA_PLATFORM=offscreen miniskop-batch --quiet --prefix k_ .) >"$work/run.log" 2>&1
status=$?
set -e
cat "$work/run.log"
((status == 0)) || fail "miniskop-batch exited with $status"
[ -s "$work/pics/Klein/ThumbIndex.html" ] || fail "no overview page in Klein/"
pictures=$(find "$work/pics" -maxdepth 1 -type f | wc -l)
thumbs=$(find "$work/pics/Klein" -name 'k_*.jpg' | wc -l)
((thumbs == pictures)) || fail "$thumbs thumbnails for $pictures pictures"
for t in "$work/pics/Klein"/k_*.jpg; do
    dims=$(file -b "$t" | grep -oE ', [0-9]+x[0-9]+,' | tr -d ', ')
    [ -n "$dims" ] || fail "$(basename "$t") is not a JPEG: $(file -b "$t")"
    w=${dims%x*} h=${dims#*x}
    ((w == 64 || h == 64)) && ((w <= 64 && h <= 64)) ||
        fail "$(basename "$t") is ${dims}, not within 64 pixels"
    grep -qF "$(basename "$t")" "$work/pics/Klein/ThumbIndex.html" || fail "page lacks $(basename "$t")"
done
[ ! -e /usr/bin/Miniskop.ini ] || fail "the batch tool wrote /usr/bin/Miniskop.ini"

if [ "$has_ui" = 1 ]; then
    step "installed desktop files validate"
    desktop-file-validate /usr/share/applications/de.miniskop.Miniskop.desktop
    appstreamcli validate --no-net --strict /usr/share/metainfo/de.miniskop.Miniskop.metainfo.xml
fi

step "apt-get remove --purge"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=600 miniskop \
    >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
installed=0
if dpkg-query -W -f='${Status}' miniskop 2>/dev/null | grep -q .; then
    fail "dpkg still knows miniskop: $(dpkg-query -W -f='${Status}' miniskop)"
fi
! command -v miniskop-batch >/dev/null || fail "miniskop-batch still on PATH"
while read -r f; do
    [ -d "$f" ] && continue
    [ -e "$f" ] && fail "left behind: $f"
done <"$work/contents"

step "build tree untouched"
after=$(tree_listing)
[ "$before" = "$after" ] || fail "the build tree changed: $(diff <(echo "$before") <(echo "$after"))"
echo "OK"
