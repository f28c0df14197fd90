#!/usr/bin/env bash
# run.sh [client arguments...]: builds everything, starts the local study service on
# loopback, then runs the client against it.
#
# On a desktop (DISPLAY set) the client runs from build/desktop/program, a fresh copy of
# the build's program folder that keeps the previous desktop run's data/, against the
# address the shipped domain.vmx names (http://127.0.0.1:18080); the service stops when the
# client exits (or on Ctrl-C when there is no client to run yet). The build's program
# folder itself is never written.
#
# Without a display (or with KAVREL_HEADLESS=1) kavrel-headless-run (tools/headlessrun/)
# runs the same client on a private Xvfb screen from a scratch copy of the program folder
# (build/headless/program) whose data/config.ini remembers the demo member zhangsan for
# automatic login, against its own study service on a free port. It watches from outside what a person would see: the login window, the main window after
# sign-in, one study page opened by a real click on a function tile. It saves screenshots
# into build/screenshots/, prints their paths and a one-line summary of what happened,
# and stops the client, the service and the screen. It exits non-zero only when the client
# did not come up.
#
# The service also publishes an update folder: a snapshot of the program folder with its
# server manifest, made by vmUpdate's generate mode, so the client's update check finds an
# installation that is up to date. Member-specific files (settings, logs, the member
# picture) are left out of the snapshot. The manifest is signed with a development key
# pair kept in <build>/devkeys/ (made on the first run); the program folder holds its
# vmupdate.pub, so the client's updater accepts only what this loop signed.
#
# Environment: KAVREL_BUILD_DIR (default build/), KAVREL_SERVICE_PORT (default 18080 on a
# desktop, any free port without a display), KAVREL_HEADLESS=1 (headless even on a desktop),
# KAVREL_SKIP_SETUP=1 (no package installation step), KAVREL_SKIP_BUILD=1 (run what is built).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${KAVREL_BUILD_DIR:-$top/build}

program="$dir/program"
service_bin="$dir/devservice/kavrel-devservice"
service_pid=
service_log=
service_url=
# shellcheck source=scripts/service.sh
. "$top/scripts/service.sh"

prepare() {
  [ "${KAVREL_SKIP_SETUP:-0}" = 1 ] || "$top/scripts/setup.sh"
  [ "${KAVREL_SKIP_BUILD:-0}" = 1 ] || "$top/scripts/build.sh" "$dir"
}

# desktop_copy: build/desktop/program, a fresh copy of the build's program folder that
# keeps the previous desktop run's data/ (settings, remembered login). The build's own
# folder, and so its package, is never written.
desktop_copy() {
  local copy=$dir/desktop/program
  rm -rf "$dir/desktop/data.kept"
  mkdir -p "$dir/desktop"
  [ -d "$copy/data" ] && mv "$copy/data" "$dir/desktop/data.kept"
  rm -rf "$copy"
  cp -a "$program" "$copy"
  strip_member_files "$copy"
  if [ -d "$dir/desktop/data.kept" ]; then
    rm -rf "$copy/data"
    mv "$dir/desktop/data.kept" "$copy/data"
  fi
  echo "$copy"
}

run_desktop() {
  local port=${KAVREL_SERVICE_PORT:-18080} copy=
  trap stop_service EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  if [ -x "$program/Kavrel" ]; then
    copy=$(desktop_copy)
    [ "$port" = 18080 ] || point_at_service "$copy" "http://127.0.0.1:$port"
    publish_update_folder "$copy" "$dir/devservice-update" "$dir/devservice-snapshot"
  fi
  start_service "$port" "$dir/devservice-update"
  echo "Demo members: zhangsan / 123456, 李四 / 学习2013, wangwu / it's-me (devservice/README.md)"

  if [ -n "$copy" ]; then
    local status=0
    (cd "$copy" && ./Kavrel "$@") || status=$?
    exit "$status"
  fi
  echo "run.sh: $program/Kavrel is not built yet; the study service keeps running until Ctrl-C."
  wait "$service_pid" || true
}

main() {
  prepare
  if [ -n "${DISPLAY:-}" ] && [ "${KAVREL_HEADLESS:-0}" != 1 ]; then
    run_desktop "$@"
  else
    local tool=$dir/tools/headlessrun/kavrel-headless-run
    [ -x "$tool" ] || { echo "run.sh: $tool is not built; nothing to run" >&2; exit 1; }
    command -v Xvfb >/dev/null || { echo "run.sh: Xvfb is missing (scripts/setup.sh installs it)" >&2; exit 1; }
    exec "$tool" "$dir" "$@"
  fi
}

main "$@"
