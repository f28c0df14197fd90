#!/usr/bin/env bash
# test.sh [stage]: installs what is missing, then builds and runs one stage of the tests,
# or every stage in this order (the default, "all"):
#   plain      the plain build (benchmarks built too) and its tests, windowed ones under Xvfb
#   asan       AddressSanitizer + UndefinedBehaviorSanitizer build and its tests
#   tsan       ThreadSanitizer build of the threaded parts (label "threads")
#   packaging  on the plain build: installation, Debian package, headless run command
#   fuzz       every fuzz target briefly (clang, own build folder)
# The gcc builds treat a compiler warning as an error (the fuzz build is clang's).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
stage=${1:-all}
case $stage in
  plain | asan | tsan | packaging | fuzz | all) ;;
  *) echo "usage: $0 [plain|asan|tsan|packaging|fuzz|all]" >&2; exit 2 ;;
esac
wanted() { [ "$stage" = all ] || [ "$stage" = "$1" ]; }

"$top/scripts/setup.sh"

run_ctest() {
  local dir=$1; shift
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$dir" --output-on-failure -j2 "$@"
}

if wanted plain || wanted packaging; then
  "$top/scripts/build.sh" "$top/build" -DKAVREL_WERROR=ON
fi
if wanted plain; then
  run_ctest "$top/build" -LE packaging
fi

if wanted asan; then
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  "$top/scripts/build.sh" "$top/build-asan" -DKAVREL_SANITIZE=address -DKAVREL_BUILD_BENCH=OFF -DKAVREL_WERROR=ON
  run_ctest "$top/build-asan" -LE no_asan
fi

if wanted tsan; then
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  "$top/scripts/build.sh" "$top/build-tsan" -DKAVREL_SANITIZE=thread -DKAVREL_BUILD_BENCH=OFF -DKAVREL_WERROR=ON \
    --target threads_tests
  run_ctest "$top/build-tsan" -L threads
fi

# Installation, the Debian package and the run command, on the plain build above.
if wanted packaging; then
  run_ctest "$top/build" -L packaging
fi

# The parsers under hostile input: each fuzz target for 20 seconds.
if wanted fuzz; then
  "$top/scripts/fuzz.sh" 20
fi
