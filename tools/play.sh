#!/usr/bin/env bash
# Installs what is missing, builds the game, writes the demo installation under demo/ and
# starts the game on it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEZOR_TESTS=OFF
cmake --build build/release

# The demo installation: drive C: is demo/c (log, settings, saves).
mkdir -p demo/c
registry="$PWD/demo/registry.ini"
if [ ! -f "$registry" ]; then
  printf '[Drives]\nC=%s\n' "$PWD/demo/c" > "$registry"
fi
DEZOR_REGISTRY="$registry" exec build/release/dezor "$@"
