#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Jobwick need.
# Does nothing when they are all present; needs root (or sudo) otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang
  nettle-dev libcups2-dev libcurl4-openssl-dev libxml2-dev libicu-dev libplist-dev
  nlohmann-json3-dev libgtest-dev libgmock-dev googletest libclang-rt-14-dev
  openssl python3 clang-format ccache libpoco-dev
  libgtk-4-dev xvfb xauth fonts-wqy-microhei desktop-file-utils at-spi2-core dbus-bin
  cups cups-client cups-ipp-utils cups-filters time
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
