#!/usr/bin/env bash
# Installs what is missing, builds the game, writes the demo installation under demo/ and
# starts the game on it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEZOR_TESTS=OFF -DDEZOR_BENCH=OFF
cmake --build build/release

# The demo installation: drives C: (hard disk) and D: (the game disc) under demo/.
build/release/tools/datakit/dezor-datakit install demo > /dev/null
DEZOR_REGISTRY="$PWD/demo/registry.ini" exec build/release/dezor "$@"
