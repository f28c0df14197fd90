#!/usr/bin/env bash
# run_headless_watch_test.sh <build-dir>: what the headless run command reports, with
# stand-ins for the client in a scratch build folder (the real service, render tool and
# updater of <build-dir>):
# - a client that signs in with the remembered login and opens the clicked tile's page
#   (watched_client.c) must be reported as such, with all three screenshots;
# - a run ended by SIGTERM must stop the client and the screen and exit 143;
# - a client that ends before showing a window must make the command fail, and say so.
# The stand-in tests only the watching; the real client is run by run_headless_test.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
start_test "$@"
fake=$scratch/build
mkdir -p "$fake/program"
cp -a "$build/program/." "$fake/program/"
rm -f "$fake/program/Kavrel"
ln -s "$build/devservice" "$fake/devservice"
ln -s "$build/tools" "$fake/tools"

# run_command: the README's run command without a display on the scratch build; sets
# $status and leaves its output in $out.
out=$scratch/out
run_command() {
  status=0
  env -u DISPLAY -u KAVREL_SERVICE_PORT KAVREL_SKIP_SETUP=1 KAVREL_SKIP_BUILD=1 KAVREL_BUILD_DIR="$fake" \
    "$here/../../scripts/run.sh" >"$out" 2>&1 || status=$?
  cat "$out"
}

echo "== a client that signs in and opens the page"
# shellcheck disable=SC2046 # pkg-config's flags are separate words
cc -O2 -o "$fake/program/Kavrel" "$here/watched_client.c" $(pkg-config --cflags --libs gtk+-3.0 x11)
run_command
expect_eq "$status" 0 "exit code"
grep -qF "Summary: Kavrel came up; its login window opened and it signed in as zhangsan (login request, then: connect x1, load:get_login_info x1); a click on the tile 考点精讲 opened the study page testSites_sitesList.htm." "$out" \
  || fail "summary of a sign-in and a page"
for shot in 1-login-window 2-main-window 3-study-page; do
  grep -qx "  $fake/screenshots/$shot.png" "$out" || fail "screenshot $shot is not listed"
  expect_file "$fake/screenshots/$shot.png" "screenshot"
done

echo "== a run asked to end stops the client and its screen, and reports nothing more"
env -u DISPLAY -u KAVREL_SERVICE_PORT KAVREL_SKIP_SETUP=1 KAVREL_SKIP_BUILD=1 KAVREL_BUILD_DIR="$fake" \
  "$here/../../scripts/run.sh" >"$out" 2>&1 &
run_pid=$!
for _ in $(seq 100); do
  grep -q "running the client on Xvfb" "$out" && break
  sleep 0.1
done
screen_pid=$(ps -o pid=,comm= --ppid "$run_pid" | awk '$2 == "Xvfb" { print $1 }')
[ -n "$screen_pid" ] || fail "no private screen came up"
kill -TERM "$run_pid"
status=0
wait "$run_pid" || status=$?
cat "$out"
expect_eq "$status" 143 "exit code of a run ended by SIGTERM"
! grep -q "^Summary:" "$out" || fail "an ended run printed a summary"
[ -z "$screen_pid" ] || ! kill -0 "$screen_pid" 2>/dev/null || fail "the private screen outlived the run"
for proc in /proc/[0-9]*; do
  [ "$(readlink "$proc/exe" 2>/dev/null)" != "$fake/headless/program/Kavrel" ] || fail "the client outlived the run"
done

echo "== a client that ends before showing a window"
printf '#!/bin/sh\necho "cannot start" >&2\nexit 3\n' >"$fake/program/Kavrel"
chmod 755 "$fake/program/Kavrel"
run_command
[ "$status" -ne 0 ] || fail "the run command succeeded although the client did not come up"
grep -qF "Summary: Kavrel did not come up: it ended with exit code 3 before showing a window." "$out" \
  || fail "summary of a client that did not come up"
grep -q "cannot start" "$out" || fail "the client's own output is not shown"

finish
