#!/bin/sh
# The long fuzz run: every target (or those named) for N seconds each
# (default 600) through scripts/fuzz.sh, then the line coverage that the
# corpus each run left reaches in the code that target is about: the
# corpus is replayed by a coverage build (build-fuzz-cov/) and llvm-cov
# counts the lines of the target's own source files.
#   scripts/fuzz-long.sh [seconds] [target...]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-600}
[ $# -gt 0 ] && shift
targets=${*:-"ini_settings date_format folder_settings wiki render_chain note_highlight download_name csv entities multibar"}

# The source files each target is about (a regular expression on paths).
files_of() {
  case "$1" in
    ini_settings) echo 'core/(ini_file|settings_store)\.cpp' ;;
    date_format) echo 'notes/date_template\.cpp' ;;
    folder_settings) echo 'notes/(folder_settings|companion)\.cpp' ;;
    wiki) echo 'render/wiki\.cpp' ;;
    render_chain) echo 'render/(markdown_note|markup|wiki)\.cpp' ;;
    note_highlight) echo 'notes/highlight\.cpp' ;;
    download_name) echo 'import/download_name\.cpp' ;;
    csv) echo 'sheet/(csv|sheet_file|cell_table|sheet)\.cpp' ;;
    entities) echo 'render/markup\.cpp' ;;
    multibar) echo 'app/app(_open)?\.cpp|browse/search\.cpp|notes/keywords\.cpp' ;;
    *) echo "$1" ;;
  esac
}

status=0
sh "$here/scripts/fuzz.sh" "$secs" $targets || status=1

cov="$here/build-fuzz-cov"
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
if [ ! -f "$cov/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$cov" $launcher -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLUMARK_BUILD_GUI=OFF -DVELLUMARK_BUILD_TESTS=OFF -DVELLUMARK_BUILD_BENCH=OFF -DVELLUMARK_FUZZ=ON \
    -DVELLUMARK_FUZZ_COVERAGE=ON >/dev/null
fi
printf '\n%-16s %10s %8s %s\n' target inputs lines "line coverage of its own files"
for t in $targets; do
  cmake --build "$cov" -j"${FUZZ_BUILD_JOBS:-2}" --target "fuzz_$t" >/dev/null
  rm -f "$cov/$t".profraw "$cov/$t".profdata
  inputs=$(ls "$here/build-fuzz/corpus/$t" "$here/fuzz/corpus/$t" 2>/dev/null | wc -l)
  LLVM_PROFILE_FILE="$cov/$t.profraw" "$cov/fuzz/fuzz_$t" -runs=0 -timeout=30 -rss_limit_mb=4096 \
    "$here/build-fuzz/corpus/$t" "$here/fuzz/corpus/$t" >"$cov/replay-$t.log" 2>&1 || status=1
  llvm-profdata merge -sparse "$cov/$t.profraw" -o "$cov/$t.profdata"
  # The TOTAL line of llvm-cov's report over the target's own files:
  # lines, missed lines, percentage.
  line=$(llvm-cov report "$cov/fuzz/fuzz_$t" -instr-profile="$cov/$t.profdata" \
           -ignore-filename-regex='/usr/|tests/|fuzz/' 2>/dev/null |
         grep -E "$(files_of "$t")|^TOTAL" | grep -v '^TOTAL' |
         awk '{lines+=$8; missed+=$9} END {if (lines) printf "%d %.1f%%", lines, 100*(lines-missed)/lines}')
  printf '%-16s %10s %8s %s\n' "$t" "$inputs" "${line%% *}" "${line#* }"
done
exit $status
