#!/usr/bin/env bash
# Installs the Debian packages Lumetra needs to build, run and test, when missing.
# Packages named as arguments (as scripts/fuzz.sh names clang) are added to them.
set -euo pipefail
packages=(build-essential cmake pkg-config libjpeg62-turbo-dev libexif-dev libpng-dev libsdl2-dev libfreetype-dev
          fonts-dejavu-core googletest libgtest-dev libbenchmark-dev xvfb xauth imagemagick "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
