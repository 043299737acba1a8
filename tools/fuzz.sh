#!/usr/bin/env bash
# Runs every fuzz target of a DEZOR_FUZZ build: replays its seeds and its regressions
# (tests/fuzz/regressions/<target>/, inputs that once failed), then fuzzes it for SECONDS,
# several targets at a time. A crash, leak, sanitizer report or hang fails the target; its
# output and the input that did it are kept under BUILD_DIR/fuzz-runs/<target>/.
#
#   tools/fuzz.sh BUILD_DIR [SECONDS]
set -uo pipefail

if (($# < 1 || $# > 2)); then
  echo "usage: tools/fuzz.sh BUILD_DIR [SECONDS]" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
seconds="${2:-20}"
bin="$build/tests/fuzz"
list="$bin/targets.txt"
if [[ ! -f "$list" ]]; then
  echo "fuzz: $list not found; configure with -DDEZOR_FUZZ=ON and build first" >&2
  exit 2
fi
mapfile -t targets < <(grep -v '^$' "$list")
runs="$build/fuzz-runs"
rm -rf "$runs"
mkdir -p "$runs"

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null ALSOFT_LOGLEVEL=0
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp"
unset DEZOR_DEBUG DEZOR_LOG

# One target: replay, then fuzz. Exit status 0 when it passed.
run_target() {
  local name="$1" dir="$runs/$1"
  mkdir -p "$dir/corpus" "$dir/crashes"
  local inputs=()
  local seeds="$bin/seeds/$name" regressions="$root/tests/fuzz/regressions/$name"
  for d in "$seeds" "$regressions"; do
    [[ -d "$d" ]] || continue
    while IFS= read -r -d '' f; do inputs+=("$f"); done \
      < <(find "$d" -type f ! -name '.*' ! -name 'README*' -print0 | sort -z)
  done
  if ((${#inputs[@]} > 0)); then
    if ! "$bin/$name" -timeout=10 -rss_limit_mb=2048 "${inputs[@]}" >"$dir/replay.log" 2>&1; then
      echo "FAIL $name: replaying its seeds and regressions (see $dir/replay.log)"
      grep -E "^(Running:|==[0-9]+==ERROR|SUMMARY|.*runtime error|ALARM)" "$dir/replay.log" |
        tail -n 6
      return 1
    fi
  fi
  local corpora=("$dir/corpus")
  [[ -d "$seeds" ]] && corpora+=("$seeds")
  [[ -d "$regressions" ]] && corpora+=("$regressions")
  if ! "$bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$dir/crashes/" -print_final_stats=1 "${corpora[@]}" \
      >"$dir/fuzz.log" 2>&1; then
    echo "FAIL $name: fuzzing (see $dir/fuzz.log; input kept in $dir/crashes/)"
    grep -E "^(==[0-9]+==ERROR|SUMMARY|.*runtime error|ALARM|artifact_prefix|Test unit written)" \
      "$dir/fuzz.log" | head -n 10
    ls "$dir/crashes"
    return 1
  fi
  local execs
  execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/fuzz.log" | grep -o '[0-9]*$')"
  echo "ok   $name (${#inputs[@]} replayed, ${execs:-?} runs)"
  return 0
}

jobs_max="$(nproc)"
declare -A pid_of=()
passed=0
failed=0
failed_names=()
collect() {
  local name="$1"
  if wait "${pid_of[$name]}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failed_names+=("$name")
  fi
  unset "pid_of[$name]"
}
for name in "${targets[@]}"; do
  if [[ ! -x "$bin/$name" ]]; then
    echo "FAIL $name: not built"
    failed=$((failed + 1))
    failed_names+=("$name")
    continue
  fi
  while ((${#pid_of[@]} >= jobs_max)); do
    wait -n
    for n in "${!pid_of[@]}"; do
      kill -0 "${pid_of[$n]}" 2>/dev/null || collect "$n"
    done
  done
  run_target "$name" &
  pid_of[$name]=$!
done
for n in "${!pid_of[@]}"; do collect "$n"; done

((failed > 0)) && echo "failed: ${failed_names[*]}"
echo "$passed passed, $failed failed"
((failed == 0))
