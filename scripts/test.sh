#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three ways: plain (with the
# benchmarks built), AddressSanitizer + UndefinedBehaviorSanitizer, and ThreadSanitizer
# for the threaded parts. Windowed tests run under Xvfb. Then, on the plain build, the
# installation, the Debian package and the headless run command; last, every fuzz target
# briefly.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

run_ctest() {
  local dir=$1; shift
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$dir" --output-on-failure -j2 "$@"
}

"$top/scripts/build.sh" "$top/build"
run_ctest "$top/build"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$top/scripts/build.sh" "$top/build-asan" -DKAVREL_SANITIZE=address -DKAVREL_BUILD_BENCH=OFF
run_ctest "$top/build-asan" -LE no_asan

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
"$top/scripts/build.sh" "$top/build-tsan" -DKAVREL_SANITIZE=thread -DKAVREL_BUILD_BENCH=OFF --target threads_tests
run_ctest "$top/build-tsan" -L threads

# Installation, the Debian package and the run command, all on the plain build above.
"$top/packaging/tests/launcher_test.sh" "$top/build"
xvfb-run -a -s "-screen 0 1280x1024x24" "$top/packaging/tests/install_test.sh" "$top/build"
"$top/packaging/tests/package_test.sh" "$top/build"
"$top/packaging/tests/run_headless_watch_test.sh" "$top/build"
"$top/packaging/tests/run_headless_test.sh" "$top/build"

# The parsers under hostile input: each fuzz target for 20 seconds (clang, own build folder).
"$top/scripts/fuzz.sh" 20
