#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those that are missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
          libudev-dev libzip-dev libpcre2-dev zlib1g-dev libtomlplusplus-dev libiso9660-dev libgtest-dev
          libbenchmark-dev xvfb xauth fonts-dejavu-core scdoc)
if [ "${1:-}" = "--test" ]; then
  packages+=(xorriso fuseiso fuse3 desktop-file-utils appstream
             lintian dpkg-dev fakeroot file groff-base man-db bash-completion zsh
             clang libclang-rt-14-dev llvm
             dbus dbus-x11 at-spi2-core python3-pyatspi openbox xdotool x11-utils imagemagick)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
