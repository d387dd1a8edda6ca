#!/usr/bin/env bash
# Installs every Debian package needed to build, test and run Zefirel.
# Idempotent: safe to run again; run as root on Debian 12.
# Usage: scripts/setup.sh [--fuzz]   (--fuzz adds what scripts/fuzz.sh needs)
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libqt6svg6 qt6-qpa-plugins
  qt6-translations-l10n
  fonts-dejavu-core
  xvfb xauth x11-apps imagemagick
  poppler-utils
  clang-format
  nlohmann-json3-dev libcli11-dev libsqlite3-dev
  help2man desktop-file-utils appstream
  locales
)

# Optional: clang and its runtimes (libFuzzer, sanitizers) for scripts/fuzz.sh.
# The default build and test run do not need them.
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES+=(clang-14 libclang-rt-14-dev)
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The windowed tests also run under the Polish locale, as installers' desktops do.
if ! locale -a 2>/dev/null | grep -qix 'pl_PL\.utf-\?8'; then
  echo "setup: generating the pl_PL.UTF-8 locale"
  $SUDO localedef -i pl_PL -f UTF-8 pl_PL.UTF-8
fi
