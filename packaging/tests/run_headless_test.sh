#!/usr/bin/env bash
# run_headless_test.sh <build-dir>: the README's run command on a machine without a display
# must bring the client up on its own screen, leave its screenshots, print them with a
# summary, exit 0, and leave neither client nor service running behind it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
start_test "$@"
out=$scratch/out
# The run works on a copy: the build's program folder (and so its package) stays as it was.
# (Names and contents: the build step of the command may copy files there again.)
program_state() { (cd "$build/program" && find . | sort && find . -type f -print0 | sort -z | xargs -0 md5sum); }
program_state >"$scratch/program.before"
status=0
env -u DISPLAY -u KAVREL_SERVICE_PORT KAVREL_SKIP_SETUP=1 KAVREL_BUILD_DIR="$build" \
  "$here/../../scripts/run.sh" >"$out" 2>&1 || status=$?
cat "$out"

expect_eq "$status" 0 "exit code of the headless run command"
grep -q "^Summary: Kavrel came up" "$out" || fail "no summary saying that the client came up"
# The remembered member signs in by itself, and a click on the first tile opens its page.
grep -q "^Summary: .*signed in as zhangsan" "$out" || fail "the remembered member did not sign in"
grep -q "^Summary: .*opened the study page" "$out" || fail "the tile click opened no study page"
[[ "$(sed -n '/^Screenshots:/,/^Requests/p' "$out")" == *"3-study-page.png"* ]] || fail "no screenshot of the study page"
shots=$(sed -n '/^Screenshots:/,/^Requests/p' "$out" | sed -n 's/^  //p')
[[ "$shots" == *"$build/screenshots/2-main-window.png"* ]] || fail "the main window screenshot is not listed"
for shot in $shots; do
  file "$shot" | grep -q "PNG image data, 1280 x 1024," || fail "screenshot $shot is not a picture of the screen"
done

program_state | diff "$scratch/program.before" - || fail "the run changed $build/program"

# Nothing of the run may outlive it.
for proc in /proc/[0-9]*; do
  exe=$(readlink "$proc/exe" 2>/dev/null) || continue
  case $exe in
    "$build/headless/"* | "$build/devservice/kavrel-devservice") fail "left running: ${proc#/proc/} $exe" ;;
  esac
done

finish
