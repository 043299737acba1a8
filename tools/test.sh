#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. The tests where threads meet (the timer's,
# the menu and prompt ticks against their drawing, the network transport and network play over
# it, the sound mixer, the rasteriser's drawing shared among threads, the scene frame drawn on
# them, and a headless race of the game itself) also run under ThreadSanitizer (first, so that
# the last summary covers everything). Every reader of untrusted
# bytes has a libFuzzer target (tests/fuzz), built with clang; its seeds and regressions are
# replayed and it fuzzes briefly.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDEZOR_TSAN=ON
tsan_tests=(
  timer_test
  dk_timer_test
  dk_menu_test
  dk_prompt_test
  dplay_test
  d3d_draw_test
  d3d_scene_test
  dk_frame_threads_test
  qmix_test
  dk_qsnd_test
  gmhndlr_test
  pertick_test
  netplay_test
)
cmake --build build/tsan --target "${tsan_tests[@]}"
# d3d_draw_test also runs as d3d_draw_test_threads_N, its drawing shared among N threads.
(cd build/tsan && ctest --output-on-failure \
  -R "^($(IFS='|'; echo "${tsan_tests[*]}")|d3d_draw_test_threads_[0-9]+)\$")
# The game itself on the demo installation: a race with its ticks on the timer thread beside the
# frames, driven by the keys, and a split-screen race whose keys count from the lights (the ticks
# play them) and whose cars hit the walls while frames draw them.
cmake --build build/tsan --target dezor dezor_run_test x11_close_window dezor_drive_plan
(cd build/tsan && DEZOR_DEBUG=1 SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
  ./tests/integration/dezor_run_test \
  --gtest_filter='DezorRunTest.OnTheDemoInstallationTheGameRacesTheDemoStage:DezorRunTest.TheDemoRaceDrivenByTheKeysRunsCleanBesideItsFrames:DezorRunTest.TwoPlayersOnTheTwoKeyboardLayoutsEachHaveAViewAndACar')

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDEZOR_FUZZ=ON -DDEZOR_TESTS=OFF -DDEZOR_BENCH=OFF
cmake --build build/fuzz
bash tools/fuzz.sh build/fuzz 20

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDEZOR_SANITIZE=ON
cmake --build build/test
cd build/test
ctest --output-on-failure -j "$(nproc)"
