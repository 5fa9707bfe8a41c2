#!/usr/bin/env bash
# Installs what building, testing and running need on Debian 12 (skipped when present),
# then configures and builds into build/. Used by the README's two commands.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ clang libclang-rt-14-dev cmake ninja-build ccache pkg-config python3
  rapidjson-dev libboost-dev libboost-graph-dev libboost-filesystem-dev libboost-system-dev
  libsqlite3-dev sqlite3 libgtest-dev libgmock-dev googletest libbenchmark-dev
  json-schema-test-suite libcli11-dev debhelper dpkg-dev lintian
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR"
