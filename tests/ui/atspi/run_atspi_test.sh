#!/bin/sh
# Drives the real program window through the accessibility bus under a virtual
# X server. Exits 77 (reported as skipped) only when the tools it needs are not
# installed: xvfb-run, dbus-run-session, the AT-SPI bus launcher and a Python 3
# with pyatspi.
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"

skip() { echo "SKIP: $1"; exit 77; }
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run not installed"
command -v dbus-run-session >/dev/null 2>&1 || skip "dbus-run-session not installed"
launcher=""
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [ -x "$candidate" ] && launcher="$candidate"
done
[ -n "$launcher" ] || skip "at-spi2-core not installed"
python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c "import pyatspi" >/dev/null 2>&1; then python="$candidate"; break; fi
done
[ -n "$python" ] || skip "python3-pyatspi not installed"
[ -x "$program" ] || { echo "FAIL: program not found: $program"; exit 1; }

exec xvfb-run -a -s "-screen 0 1024x768x24" \
    dbus-run-session -- "$python" "$here/miniskop_atspi_test.py" "$program"
