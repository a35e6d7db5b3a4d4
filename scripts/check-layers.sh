#!/usr/bin/env bash
# Checks the floors of the house: every file under src/ includes only headers
# of its own floor or the floors below it (platform -> core -> features ->
# app -> ui), a feature never includes another feature's controller, and
# nothing outside ui/ includes a Qt header. Prints each offence and fails
# when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"

floor() {
  case "$1" in
    platform) echo 0 ;;
    core) echo 1 ;;
    browse | notes | render | sheet | import) echo 2 ;;
    app) echo 3 ;;
    ui) echo 4 ;;
    *) echo -1 ;;
  esac
}

# The controllers of the features: what one feature must never include from
# another (their pure functions are fair game).
controllers="browse/browser.h notes/note_viewer.h render/web_viewer.h sheet/sheet_viewer.h"

# Files allowed to break the rules, with the reason beside each; none today.
known_exceptions=""

status=0
offence() {
  echo "check-layers: $1" >&2
  status=1
}

while IFS= read -r file; do
  dir="${file%%/*}"
  own=$(floor "$dir")
  if [[ $own -lt 0 ]]; then
    offence "$file: not in a known folder"
    continue
  fi
  excepted=0
  for e in $known_exceptions; do [[ "$file" == "$e" ]] && excepted=1; done
  while IFS= read -r inc; do
    if [[ "$inc" =~ ^\<Q[A-Za-z]*\>$ || "$inc" =~ ^\<Qt[A-Za-z]*/ ]]; then
      [[ "$dir" != ui ]] && offence "$file: includes the Qt header $inc outside ui/"
      continue
    fi
    [[ "$inc" =~ ^\"([a-z_]+)/[^\"]+\"$ ]] || continue
    header="${inc//\"/}"
    hdir="${BASH_REMATCH[1]}"
    theirs=$(floor "$hdir")
    [[ $theirs -lt 0 ]] && continue
    [[ $excepted -eq 1 ]] && continue
    if [[ $theirs -gt $own ]]; then
      offence "$file: includes $header from a higher floor"
    elif [[ $own -eq 2 && "$hdir" != "$dir" && " $controllers " == *" $header "* ]]; then
      offence "$file: includes another feature's controller $header"
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*\([<"][^>"]*[>"]\).*/\1/p' "$file")
done < <(find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' \) | sed 's|^\./||' | sort)

if [[ $status -eq 0 ]]; then echo "check-layers: the floors hold"; fi
exit $status
