#!/usr/bin/env bash
# Installs what Vellumark needs to build, run and test on Debian 12.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

pkgs=(
  cmake make g++ pkgconf
  qt6-base-dev qt6-webengine-dev qt6-qpa-plugins libqt6opengl6-dev
  libmd4c-dev libmd4c-html0-dev libutf8proc-dev
  libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-apps
  python3 openssl
  clang libclang-rt-dev
  desktop-file-utils appstream dpkg-dev file groff-base
)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
