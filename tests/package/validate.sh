#!/bin/sh
# Runs one desktop-file validator on one file:
#   validate.sh desktop FILE | appstream FILE | man FILE
# Exits 77 (CTest's skip) when the validator is not installed; fails on any
# error or warning, not only on the validator's own exit status.
set -u
kind=$1 file=$2
case "$kind" in
  desktop) tool=desktop-file-validate ;;
  appstream) tool=appstreamcli ;;
  man) tool=groff ;;
  *) echo "validate.sh: unknown kind '$kind'" >&2; exit 2 ;;
esac
if ! command -v "$tool" >/dev/null 2>&1; then
  echo "$tool is not installed (scripts/install-deps.sh installs it); skipped"
  exit 77
fi
[ -f "$file" ] || { echo "validate.sh: no file '$file'" >&2; exit 1; }
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
status=0
case "$kind" in
  desktop)
    desktop-file-validate "$file" >"$out" 2>&1 || status=1
    grep -Eq ': (error|warning): ' "$out" && status=1 ;;
  appstream)
    appstreamcli validate --no-net --no-color "$file" >"$out" 2>&1 || status=1
    grep -Eq '^[EW]: ' "$out" && status=1 ;;
  man)
    # Every groff warning category, output thrown away: only the complaints count.
    LC_ALL=C.UTF-8 groff -man -ww -z -K utf8 "$file" >"$out" 2>&1 || status=1
    [ -s "$out" ] && status=1 ;;
esac
cat "$out"
exit $status
