#!/usr/bin/env bash
# Builds the Debian package (or takes the one given), unpacks it into a clean
# temporary folder and checks it: its control fields, its file list, the
# desktop files, and the unpacked program itself (--version, and a picture of
# the window taken offscreen, which needs its support folder from the unpacked
# tree).
#   scripts/package-test.sh [PACKAGE.deb]
# Without a package it configures and builds build-test/ (BUILD_DIR=... for
# another folder) and runs cpack -G DEB there. Exits 77 when dpkg-deb is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v dpkg-deb >/dev/null; then
  echo "package-test: dpkg-deb is not installed; skipped"
  exit 77
fi

fail=0
bad() { echo "package-test: FAIL: $*" >&2; fail=1; }

deb=${1:-}
if [ -z "$deb" ]; then
  build=${BUILD_DIR:-build-test}
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  [ -f "$build/CMakeCache.txt" ] ||
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target vellumark vellumark_support vellumark_manpage >/dev/null
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  rm -f "$build"/vellumark_*.deb
  (cd "$build" && cpack -G DEB >/dev/null)
  deb=$(ls "$build"/vellumark_"$version"_*.deb)
fi
[ -f "$deb" ] || { echo "package-test: no package '$deb'" >&2; exit 1; }
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
echo "package-test: $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir "$root"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
[ "$(field Package)" = vellumark ] || bad "package name is '$(field Package)'"
[ -n "$version" ] || bad "no version"
[ -n "$(field Section)" ] || bad "no section"
[[ "$(field Maintainer)" =~ ^.+\ \<.+@.+\>$ ]] || bad "maintainer '$(field Maintainer)' is not 'Name <address>'"
[ -n "$(field Description)" ] || bad "no description"
depends=$(field Depends)
# Package names alone, one a line ("libc6 (>= 2.34), a | b" gives libc6, a, b).
names=$(echo "$depends" | tr ',|' '\n' | sed 's/(.*//; s/^ *//; s/ *$//')
for lib in libqt6widgets6 libqt6webenginewidgets6 libqt6webenginecore6-bin libmd4c-html0 libutf8proc2 libcurl4 libc6 libstdc++6; do
  grep -qxF "$lib" <<<"$names" || bad "Depends does not name $lib: $depends"
done
dups=$(sort <<<"$names" | uniq -d)
[ -z "$dups" ] || bad "Depends names a package twice: $dups"

# File list.
dpkg-deb -x "$deb" "$root"
expected=(
  usr/bin/vellumark
  usr/share/vellumark/support/markup.css
  usr/share/vellumark/support/help/1_help.txt
  usr/share/applications/vellumark.desktop
  usr/share/metainfo/io.github.vellumark.Vellumark.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/vellumark.svg
  usr/share/man/man1/vellumark.1.gz
  usr/share/doc/vellumark/copyright
  usr/share/doc/vellumark/changelog.gz
)
for n in 16 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${n}x${n}/apps/vellumark.png"); done
for f in "${expected[@]}"; do [ -f "$root/$f" ] || bad "missing $f"; done
[ -x "$root/usr/bin/vellumark" ] || bad "usr/bin/vellumark is not executable"
# Every support file of the source tree is in the package.
(cd support && find . -type f) | while read -r f; do
  [ -f "$root/usr/share/vellumark/support/$f" ] || echo "$f"
done >"$work/missing-support"
[ -s "$work/missing-support" ] && bad "support files missing: $(tr '\n' ' ' <"$work/missing-support")"
# Nothing outside /usr, and nothing of the build (object files, tests) came along.
stray=$(cd "$root" && find . -type f ! -path './usr/*')
[ -z "$stray" ] || bad "files outside /usr: $stray"
stray=$(cd "$root" && find . -type f \( -name '*.o' -o -name '*.a' -o -name 'test_*' -o -name 'CMake*' \))
[ -z "$stray" ] || bad "build files packaged: $stray"
echo "package-test: $(cd "$root" && find . -type f | wc -l) files"

# The files the desktop reads.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/vellumark.desktop" | grep -E ': (error|warning): ' && bad "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --no-color "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null || bad "metainfo file"
fi
gzip -t "$root/usr/share/man/man1/vellumark.1.gz" || bad "manual page is not a valid gzip file"
zcat "$root/usr/share/doc/vellumark/changelog.gz" | head -1 | grep -qF "vellumark ($version)" ||
  bad "the change log's first entry is not version $version"
if command -v man >/dev/null; then
  man -l "$root/usr/share/man/man1/vellumark.1.gz" 2>/dev/null | grep -q -- '--screenshot' || bad "manual page does not render"
fi

# The unpacked program.
exe=$root/usr/bin/vellumark
# libcurl is loaded with the first download, not at start-up: no linked library
# names it, so the package must (Depends).
if command -v readelf >/dev/null; then
  readelf -d "$exe" | grep -q 'NEEDED.*libcurl' && bad "the program is linked against libcurl (it loads it with the first download)"
fi
got=$("$exe" --version) || bad "--version failed"
[ "$got" = "vellumark $version" ] || bad "--version says '$got', the package is $version"

export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.webenginecontext.info=false"
export XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work/tmp
mkdir -m 0700 "$XDG_RUNTIME_DIR" "$TMPDIR"
# shot NAME: a first start with a fresh home folder, its picture in $work/NAME.png.
shot() {
  if ! timeout 120 "$exe" --home "$work/home-$1" --screenshot "$work/$1.png" >"$work/$1.log" 2>&1; then
    bad "--screenshot failed: $(cat "$work/$1.log")"
    return
  fi
  [ "$(head -c 8 "$work/$1.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    bad "--screenshot did not write a PNG"
}
shot window
[ -d "$work/home-window/support" ] && bad "the program made a support folder in its home folder"
# The first start shows the help from the support folder. Without the
# unpacked tree's support folder the window must look different: else the
# program took its help from somewhere else (the compiled-in prefix).
support=$root/usr/share/vellumark/support
mv "$support" "$support.away"
shot nosupport
mv "$support.away" "$support"
cmp -s "$work/window.png" "$work/nosupport.png" &&
  bad "the program did not use the support folder of the unpacked tree ($support)"

# The web view's module ships in the package and loads from the unpacked
# tree: a picture (shown as a page) names no failure to load it.
module=$(find "$root/usr/lib" -name libvellumark_web.so 2>/dev/null | head -n 1)
[ -n "$module" ] || bad "missing the web view module libvellumark_web.so"
mkdir -p "$work/notes" "$work/home-page"
cp "$root/usr/share/icons/hicolor/48x48/apps/vellumark.png" "$work/notes/pic.png"
printf '[General]\nFirstLaunch=0\n' >"$work/home-page/vellumark.ini"
timeout 120 "$exe" --home "$work/home-page" --screenshot "$work/page.png" "$work/notes/pic.png" >"$work/page.log" 2>&1 ||
  bad "--screenshot of a page failed: $(cat "$work/page.log")"
grep -q "no web view" "$work/page.log" && bad "the web view module did not load: $(cat "$work/page.log")"

if [ "$fail" = 0 ]; then
  [ -n "${KEEP_SCREENSHOT:-}" ] && cp "$work/window.png" "$KEEP_SCREENSHOT"
  echo "package-test: OK (vellumark $version)"
fi
exit $fail
