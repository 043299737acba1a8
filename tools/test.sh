#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. The tests where the two threads meet (the
# timer's, the menu and prompt ticks against their drawing, and the sound mixer) also run
# under ThreadSanitizer (first, so that the last summary covers everything).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDEZOR_TSAN=ON
cmake --build build/tsan --target timer_test dk_timer_test dk_menu_test dk_prompt_test dplay_test \
    qmix_test dk_qsnd_test
(cd build/tsan && ctest --output-on-failure -R '^(timer_test|dk_timer_test|dk_menu_test|dk_prompt_test|dplay_test|qmix_test|dk_qsnd_test)$')

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDEZOR_SANITIZE=ON
cmake --build build/test
cd build/test
ctest --output-on-failure -j "$(nproc)"
