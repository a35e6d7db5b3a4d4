#!/usr/bin/env bash
# Renders vellumark.svg into the PNG sizes the desktop's icon theme looks for
# (hicolor/NxN/apps/vellumark.png beside this script). Run it again after
# changing the SVG and commit the PNGs; the build only copies them.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for n in 16 32 48 64 128 256; do
  mkdir -p "hicolor/${n}x${n}/apps"
  rsvg-convert --width "$n" --height "$n" --keep-aspect-ratio vellumark.svg -o "hicolor/${n}x${n}/apps/vellumark.png"
done
