#!/usr/bin/env bash
# Installs what is needed, builds Vellumark with its tests and runs them all.
#   scripts/test.sh [--hardening]
# With --hardening (and always under CI=true) it goes on (after the normal build and tests)
# with a repeatable run of every fuzz target (clang, build-fuzz/) and the core and
# non-GUI suites built with AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/), whose CTest summary comes last. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
hardening=0
[ "${CI:-}" = true ] && hardening=1
for a in "$@"; do
  case "$a" in
    --hardening) hardening=1 ;;
    *) echo "usage: scripts/test.sh [--hardening]" >&2; exit 2 ;;
  esac
done
bash scripts/install-deps.sh
bash scripts/check-layers.sh
export QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="qt.webenginecontext.info=false"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 0700 "$XDG_RUNTIME_DIR"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMARK_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build build-test -j"$(nproc)"
if [ "$hardening" = 0 ]; then
  cd build-test
  exec ctest --output-on-failure -j"$(nproc)"
fi

status=0
failed=()
(cd build-test && ctest --output-on-failure -j"$(nproc)") || { status=1; failed+=("normal tests (build-test)"); }

# A repeatable smoke run (fixed seed, a fixed number of inputs a target that a
# loaded machine gets through in under 60 s, 60 s at most): it fails only on
# what a run here would find too. Open-ended fuzzing is scripts/fuzz.sh
# without a seed, or scripts/fuzz-long.sh.
echo "== fuzz targets, a fixed set of inputs each (seed 1)"
FUZZ_SEED=1 FUZZ_RUNS="20000 csv=700 multibar=2000" FUZZ_BUILD_JOBS="$(nproc)" sh scripts/fuzz.sh 60 || { status=1; failed+=("fuzz targets"); }

echo "== sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMARK_SANITIZE=ON -DVELLUMARK_BUILD_GUI=OFF \
  -DVELLUMARK_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
(cd build-asan && ctest --output-on-failure -j"$(nproc)" -LE large) || { status=1; failed+=("sanitizer tests (build-asan)"); }
# The log's tail is often all that is kept: name what failed above the last summary.
for f in "${failed[@]}"; do echo "== FAILED: $f" >&2; done
exit $status
