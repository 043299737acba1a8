#!/usr/bin/env bash
# Installs what is missing, builds the game, writes the demo installation under demo/ and
# starts the game on it. The build's output goes to build/play-build.log; an existing demo
# installation keeps the player's settings in demo/registry.ini.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

mkdir -p build
log=build/play-build.log
echo "play.sh: building the game (output in $log)"
if ! {
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEZOR_TESTS=OFF -DDEZOR_BENCH=OFF &&
    cmake --build build/release
} > "$log" 2>&1; then
  tail -n 20 "$log" >&2
  echo "play.sh: the build failed; its whole output is in $log" >&2
  exit 1
fi

# The demo installation: drives C: (hard disk) and D: (the game disc) under demo/.
build/release/tools/datakit/dezor-datakit install demo > /dev/null
DEZOR_REGISTRY="$PWD/demo/registry.ini" exec build/release/dezor "$@"
