#!/usr/bin/env bash
# Times Vellumark beside other programs that do the same kind of work, on data
# made for the run, and prints one table of ratios: Vellumark's figure divided
# by the other program's (below 1: Vellumark is quicker or smaller).
#
#   scripts/compare-peers.sh [--rounds N] [--build DIR] [--display :N] [--big]
#
# --rounds N    rounds of every measurement (default 5); each row shows the
#               median, and within a round Vellumark and the other programs
#               take turns going first
# --build DIR   the build folder holding vellumark and vellumark_peer_ops
#               (default: build-test, else build)
# --display :N  the X display for the window start-ups (default: a private
#               Xvfb when Xvfb is installed, else $DISPLAY)
# --big         also open and save the 1,000,000-row CSV (about 100 MB)
#
# It installs nothing. Programs that are not on the machine are skipped:
# zim, cherrytree and ghostwriter (window start-up and idle memory),
# gnumeric's ssconvert, visidata and python3 (open and save a CSV file),
# md2html (md4c's own tool; without it md4c runs alone through
# vellumark_peer_ops), ls and grep. Window start-ups need xdotool. Beside
# them a bare Qt widgets window of the same shape (vellumark_bare_window, when
# built) shows the floor of any Qt program's start on the machine.
#
# Start-up is the time from starting the program until its window is mapped
# (xdotool sees it visible); idle memory is the resident size (VmRSS, summed
# over the program's processes) two seconds after that, nothing opened.
# Whole-process times include each program's own start.
set -uo pipefail
cd "$(dirname "$0")/.."

rounds=5
build=""
display=""
big=0
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --display) display="$2"; shift 2 ;;
    --big) big=1; shift ;;
    *) echo "usage: scripts/compare-peers.sh [--rounds N] [--build DIR] [--display :N] [--big]" >&2; exit 2 ;;
  esac
done
if [ -z "$build" ]; then
  for b in build-test build; do
    if [ -x "$b/src/vellumark" ] || [ -x "$b/vellumark" ]; then build="$b"; break; fi
  done
fi
find_exe() {  # name: the first built executable of that name under the build folder
  find "$build" -name "$1" -type f -perm -u+x 2>/dev/null | head -n 1
}
vellumark="$(find_exe vellumark)"
ops="$(find_exe vellumark_peer_ops)"
if [ -z "$build" ] || [ -z "$vellumark" ] || [ -z "$ops" ]; then
  echo "compare-peers: build vellumark and vellumark_peer_ops first (cmake -DVELLUMARK_BUILD_BENCH=ON," >&2
  echo "  cmake --build BUILD --target vellumark vellumark_peer_ops), then pass --build BUILD" >&2
  exit 1
fi
has() { command -v "$1" >/dev/null 2>&1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/vellumark-peers-XXXXXX")"
xvfb_pid=""
bus_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "compare-peers: making the data sets in $work" >&2
if ! "$ops" data "$work/data"; then
  echo "compare-peers: could not make the data sets" >&2
  exit 1
fi
data="$work/data"

# ---- figures -----------------------------------------------------------------
# Every measurement adds one number per round to a list named by its key.
declare -A figures
add() { figures[$1]+="$2 "; }
median() {  # key
  local values="${figures[$1]:-}"
  [ -z "$values" ] && return 1
  tr ' ' '\n' <<<"$values" | grep -v '^$' | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Runs a command `reps` times in a row (output dropped) and adds the time of
# one run to key_wall and key_cpu (user + system, children included), in ms.
timed() {  # key reps command...
  local key="$1" reps="$2"
  shift 2
  local out
  out=$( { TIMEFORMAT='%3R %3U %3S'; time { for ((i = 0; i < reps; i++)); do "$@" >/dev/null 2>&1; done; }; } 2>&1)
  add "${key}_wall" "$(awk -v n="$reps" '{ printf "%.1f", $1 * 1000 / n }' <<<"$out")"
  add "${key}_cpu" "$(awk -v n="$reps" '{ printf "%.1f", ($2 + $3) * 1000 / n }' <<<"$out")"
}

# ---- window start-up ------------------------------------------------------------
if [ -z "$display" ] && has Xvfb; then
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # -noreset: without it the server starts over each time its last client
    # leaves, and a program started in that moment cannot connect.
    Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    display=":$n"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi
[ -z "$display" ] && display="${DISPLAY:-}"

# A desktop session has a message bus; without one each program would try
# to start its own. One private bus serves every program of the run.
bus=""
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && has dbus-daemon; then
  if out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null); then
    bus=$(sed -n 1p <<<"$out")
    bus_pid=$(sed -n 2p <<<"$out")
  fi
fi
bus="${bus:-${DBUS_SESSION_BUS_ADDRESS:-}}"

gui=1
if [ -z "$display" ] || ! has xdotool; then
  echo "compare-peers: no display or no xdotool: window start-ups skipped" >&2
  gui=0
fi

# The programs' own settings go to a private home, so that nothing the user
# keeps is touched and every round starts alike.
peerhome="$work/peerhome"
mkdir -p "$peerhome" "$work/runtime"
chmod 0700 "$work/runtime"
vhome="$work/vhome"
mkdir -p "$vhome"
{
  printf '[General]\nFirstLaunch=0\nLastRoot=Notes 1\nUseStatBar=1\n[BasicRoots]\n'
  for r in 1 2 3; do printf '%s=Notes %s;.md\n' "$data/roots/notes$r" "$r"; done
} >"$vhome/vellumark.ini"

# A Zim notebook of 1,000 pages, a CherryTree document of 3 x 1,000 nodes and
# one note for ghostwriter: each peer opens what it would show at start.
zimbook="$work/zimbook"
mkdir -p "$zimbook"
printf '[Notebook]\nversion=0.4\nname=Notes\nhome=Note_0000\n' >"$zimbook/notebook.zim"
for ((i = 0; i < 1000; i++)); do
  printf -v page '%s/Note_%04d.txt' "$zimbook" "$i"
  printf 'Content-Type: text/x-zim-wiki\nWiki-Format: zim 0.4\n\n====== Note %d ======\n\n' "$i" >"$page"
  cat "$data/roots/notes1/$(printf 'note %04d.md' "$i")" >>"$page"
done
ctd="$work/notes.ctd"
{
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<cherrytree>\n'
  id=1
  for r in 1 2 3; do
    printf '<node name="Notes %d" unique_id="%d" prog_lang="custom-colors" tags="" readonly="0" custom_icon_id="0" is_bold="0" foreground="" ts_creation="0" ts_lastsave="0"><rich_text></rich_text>\n' "$r" "$id"
    id=$((id + 1))
    for ((i = 0; i < 1000; i++)); do
      printf '<node name="note %04d" unique_id="%d" prog_lang="custom-colors" tags="" readonly="0" custom_icon_id="0" is_bold="0" foreground="" ts_creation="0" ts_lastsave="0"><rich_text>a note of the notebook %d</rich_text></node>\n' "$i" "$id" "$r"
      id=$((id + 1))
    done
    printf '</node>\n'
  done
  printf '</cherrytree>\n'
} >"$ctd"

# Resident memory of a process and all its descendants, in MB.
tree_rss() {  # pid
  local total=0 p kb
  for p in $1 $(pgrep -P "$1" 2>/dev/null) $(for c in $(pgrep -P "$1" 2>/dev/null); do pgrep -P "$c"; done); do
    kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$p/status" 2>/dev/null)
    total=$((total + ${kb:-0}))
  done
  awk -v kb="$total" 'BEGIN { printf "%.1f", kb / 1024 }'
}

stop() {  # pid: ends a started program, by force when it does not end
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq 1 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  pkill -KILL -P "$1" 2>/dev/null
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

# Starts a program, waits until one of its windows is mapped, adds the time
# to key_start and the resident memory two seconds later to key_rss.
startup() {  # key command...
  local key="$1"
  shift
  local t0 t1 pid
  t0=$(date +%s%N)
  env DISPLAY="$display" HOME="$peerhome" XDG_CONFIG_HOME="$peerhome/.config" XDG_DATA_HOME="$peerhome/.local/share" \
    XDG_CACHE_HOME="$peerhome/.cache" XDG_RUNTIME_DIR="$work/runtime" QTWEBENGINE_DISABLE_SANDBOX=1 \
    DBUS_SESSION_BUS_ADDRESS="$bus" \
    "$@" >>"$work/$key.log" 2>&1 &
  pid=$!
  while ! DISPLAY="$display" xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null || [ $(($(date +%s%N) - t0)) -gt 30000000000 ]; then
      echo "compare-peers: $key: no window (see $work/$key.log)" >&2
      stop "$pid"
      return 1
    fi
    sleep 0.005
  done
  t1=$(date +%s%N)
  sleep 2
  add "${key}_start" "$(awk -v ns=$((t1 - t0)) 'BEGIN { printf "%.1f", ns / 1e6 }')"
  add "${key}_rss" "$(tree_rss "$pid")"
  stop "$pid"
}

declare -a guipeers=()
if [ "$gui" = 1 ]; then
  has zim && guipeers+=(zim)
  has cherrytree && guipeers+=(cherrytree)
  has ghostwriter && guipeers+=(ghostwriter)
  # Qt's own floor: a bare widgets window of the same shape (bench/gui/bare_window.cpp).
  bare="$(find_exe vellumark_bare_window)"
  [ -n "$bare" ] && guipeers+=(qtbare)
fi
start_peer() {  # name
  case "$1" in
    vellumark) startup vellumark "$vellumark" --home "$vhome" ;;
    zim) startup zim zim --standalone "$zimbook" ;;
    cherrytree) startup cherrytree cherrytree "$ctd" ;;
    ghostwriter) startup ghostwriter ghostwriter "$data/roots/notes1/note 0000.md" ;;
    qtbare) startup qtbare "$bare" ;;
  esac
}

# ---- the rounds -------------------------------------------------------------------
csvpeers=()
has ssconvert && csvpeers+=(ssconvert)
has vd && csvpeers+=(visidata)
has python3 && csvpeers+=(python3)
csv_peer() {  # name input output
  case "$1" in
    ssconvert) ssconvert "$2" "$3" ;;
    visidata) vd -b "$2" -o "$3" ;;
    python3)
      python3 -c 'import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))
csv.writer(open(sys.argv[2], "w", newline="")).writerows(rows)' "$2" "$3" ;;
  esac
}
render_anchor=(md4c "$ops" md4c "$data/big.md")
has md2html && render_anchor=(md2html md2html "$data/big.md")

# Vellumark's side of a comparison, then the others', or the other way round.
ordered() {  # round own others
  if [ $(($1 % 2)) = 1 ]; then eval "$2"; eval "$3"; else eval "$3"; eval "$2"; fi
}

if [ "$gui" = 1 ]; then
  echo "compare-peers: one start of each program first (settings, caches)" >&2
  for p in vellumark "${guipeers[@]}"; do start_peer "$p"; done
  figures=()
fi

for ((round = 1; round <= rounds; round++)); do
  echo "compare-peers: round $round of $rounds" >&2
  if [ "$gui" = 1 ]; then
    ordered "$round" 'start_peer vellumark' 'for p in "${guipeers[@]}"; do start_peer "$p"; done'
  fi
  cp "$data/rows100k.csv" "$work/v.csv"
  ordered "$round" 'timed csv_vellumark 1 "$ops" csv "$work/v.csv"' \
    'for p in "${csvpeers[@]}"; do timed "csv_$p" 1 csv_peer "$p" "$data/rows100k.csv" "$work/out.csv"; done'
  if [ "$big" = 1 ]; then
    cp "$data/rows1m.csv" "$work/v1m.csv"
    ordered "$round" 'timed csv1m_vellumark 1 "$ops" csv "$work/v1m.csv"' \
      'for p in visidata python3; do [[ " ${csvpeers[*]} " == *" $p "* ]] && timed "csv1m_$p" 1 csv_peer "$p" "$data/rows1m.csv" "$work/out.csv"; done'
  fi
  ordered "$round" 'timed list_vellumark 10 "$ops" list "$data/folder10k"' \
    'timed list_lsf 10 ls -f "$data/folder10k"; timed list_lsl 10 ls -l "$data/folder10k"'
  ordered "$round" 'timed render_vellumark 5 "$ops" render "$data/big.md"' \
    'timed "render_${render_anchor[0]}" 5 "${render_anchor[@]:1}"'
  ordered "$round" 'timed search_vellumark 5 "$ops" search "$data/roots/notes1" quokka' \
    'timed search_grep 5 grep -ril quokka "$data/roots/notes1"'
done

# ---- the table ------------------------------------------------------------------------
row() {  # work own_key other_name other_key unit
  local own other ratio
  own=$(median "$2") || return 0
  other=$(median "$4") || return 0
  ratio=$(awk -v a="$own" -v b="$other" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  printf '| %-44s | %10s %-2s | %-22s | %10s %-2s | %6s |\n' "$1" "$own" "$5" "$3" "$other" "$5" "$ratio"
}

echo
echo "Vellumark beside other programs, medians of $rounds rounds ($(nproc) cores, $(date +%Y-%m-%d))"
echo
printf '| %-44s | %13s | %-22s | %13s | %6s |\n' "Work" "Vellumark" "Other program" "Other" "Ratio"
printf '|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..15})" \
  "$(printf -- '-%.0s' {1..24})" "$(printf -- '-%.0s' {1..15})" "$(printf -- '-%.0s' {1..8})"
shown() { [ "$1" = qtbare ] && echo "bare Qt window (floor)" || echo "$1"; }
for p in "${guipeers[@]}"; do row "start-up to a mapped window, 3 roots x 1,000" vellumark_start "$(shown "$p")" "${p}_start" ms; done
for p in "${guipeers[@]}"; do row "memory at idle after start (RSS)" vellumark_rss "$(shown "$p")" "${p}_rss" MB; done
for p in "${csvpeers[@]}"; do row "open + save 10 MB CSV (100,000 rows)" csv_vellumark_wall "$p" "csv_${p}_wall" ms; done
if [ "$big" = 1 ]; then
  for p in visidata python3; do row "open + save 100 MB CSV (1,000,000 rows)" csv1m_vellumark_wall "$p" "csv1m_${p}_wall" ms; done
fi
row "list a 10,000-file folder (CPU)" list_vellumark_cpu "ls -f" list_lsf_cpu ms
row "list a 10,000-file folder (CPU)" list_vellumark_cpu "ls -l" list_lsl_cpu ms
row "render 1 MB Markdown" render_vellumark_wall "${render_anchor[0]} alone" "render_${render_anchor[0]}_wall" ms
row "?d search, 1,000 notes, no hit" search_vellumark_wall "grep -ril" search_grep_wall ms
echo
echo "Ratio: Vellumark's figure / the other program's (below 1: Vellumark quicker or smaller)."
echo "Whole processes, start included; the list row counts CPU time (user + system), the others wall time."
