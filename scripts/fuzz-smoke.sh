#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan, coverage on the whole
# core) in build-fuzz and runs each one a short fixed number of times over its
# committed seed corpus and regression inputs. New inputs go to a scratch
# folder, never into the tree. Exit status non-zero on any finding.
#
# Usage: scripts/fuzz-smoke.sh [RUNS]   (default 2000 runs per target)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
runs="${1:-2000}"
fuzz_dir="$root/tests/fuzz"

# Debian's clang-14 package installs clang++-14; the unversioned name only
# exists where the clang package (or an alternative) provides it.
cxx="${FUZZ_CXX:-}"
if [ -z "$cxx" ]; then
    for candidate in clang++ clang++-14; do
        if command -v "$candidate" >/dev/null; then
            cxx="$candidate"
            break
        fi
    done
fi
if [ -z "$cxx" ]; then
    echo "fuzz-smoke: no clang++ found (install clang-14 and libclang-rt-14-dev)" >&2
    exit 2
fi

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_COMPILER=$cxx" \
    -DMINISKOP_FUZZ=ON -DMINISKOP_BUILD_UI=OFF \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --target fuzz_all -j2

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$fuzz_dir/lsan.supp"

# target corpus [ASAN_OPTIONS]
targets=(
    "fuzz_ini ini"
    "fuzz_numeric numeric"
    "fuzz_page page"
    "fuzz_pattern pattern"
    "fuzz_picture picture"
    "fuzz_wmf wmf"
    "fuzz_heif heif"
    "fuzz_jxl jxl"
    "fuzz_tiff tiff"
    "fuzz_icc icc"
)

status=0
for entry in "${targets[@]}"; do
    read -r name corpus extra <<<"$entry"
    work="$scratch/$name"
    mkdir -p "$work/new" "$work/artifacts"
    dirs=("$work/new" "$fuzz_dir/corpus/$corpus")
    [ -d "$fuzz_dir/regressions/$corpus" ] && dirs+=("$fuzz_dir/regressions/$corpus")
    echo "== $name: $runs runs"
    if ! ASAN_OPTIONS="${extra:-}" "$build/tests/fuzz/$name" -runs="$runs" -max_len=4096 \
        -timeout=20 -rss_limit_mb=2560 -artifact_prefix="$work/artifacts/" "${dirs[@]}" \
        >"$work/log" 2>&1; then
        echo "!! $name found a problem:"
        tail -40 "$work/log"
        ls -l "$work/artifacts"
        status=1
    else
        grep -E '^#[0-9]+[[:space:]]+DONE' "$work/log" || tail -2 "$work/log"
    fi
done
exit $status
