#!/usr/bin/env bash
# Installs what is needed, builds Vellumark and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMARK_BUILD_TESTS=OFF -DVELLUMARK_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "vellumark: no display found; for a picture of the window run: QT_QPA_PLATFORM=offscreen build/vellumark --screenshot window.png" >&2
  exit 1
fi
exec build/vellumark "$@"
