#!/usr/bin/env bash
# Installs the Debian packages this project builds and tests with. Only what is missing is
# installed, so running it again costs a few dpkg queries.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev
  libsdl2-dev libx11-dev
  libfltk1.3-dev xvfb xauth python3
  libenet-dev
  libopenal-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libgl-dev libegl-dev libopengl-dev libgl1-mesa-dri libegl-mesa0
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} > 0)); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "install-deps: installing ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
