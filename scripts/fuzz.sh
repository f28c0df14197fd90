#!/usr/bin/env bash
# fuzz.sh [seconds]: builds the libFuzzer targets of fuzz/ with clang (coverage,
# AddressSanitizer, UndefinedBehaviorSanitizer) in their own build folder and runs each
# for that many seconds (default 60), starting from its seed corpus fuzz/corpus/<target>/.
# Inputs that reach new code collect in <build>/corpus/<target>/; a crash, leak or hang
# ends that target's run with its input in <build>/artifacts/ and makes the script fail.
#
# Environment: KAVREL_FUZZ_BUILD_DIR (default build-fuzz/).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=${KAVREL_FUZZ_BUILD_DIR:-$top/build-fuzz}

# The compiler and its flags are the "fuzz" preset's (CMakePresets.json).
(cd "$top" && cmake --preset fuzz -B "$dir" >/dev/null)
cmake --build "$dir" -j2 --target fuzz_targets

# Targets of readers that take a path write each input to a file in $TMPDIR: on a tmpfs
# that costs no disk flush (nor does the settings writer's fsync).
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  TMPDIR=$(mktemp -d /dev/shm/kavrel-fuzz-XXXXXX)
  export TMPDIR
  trap 'rm -rf "$TMPDIR"' EXIT
fi
export ASAN_OPTIONS=abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$dir/artifacts"
failed=()
while read -r target; do
  [ -n "$target" ] || continue
  mkdir -p "$dir/corpus/$target"
  log="$dir/artifacts/$target.log"
  if "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/$target-" "$dir/corpus/$target" "$top/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz.sh: $target: ${runs:-?} runs in ${seconds} s, no fault"
  else
    tail -n 60 "$log" >&2
    echo "fuzz.sh: $target: FAULT (input in $dir/artifacts/, log $log)" >&2
    failed+=("$target")
  fi
done <"$dir/fuzz/targets.txt"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: faults in ${failed[*]}" >&2
  exit 1
fi
