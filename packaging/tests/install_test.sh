#!/usr/bin/env bash
# install_test.sh <build-dir>: `cmake --install` of a built tree into scratch prefixes (a
# plain prefix and DESTDIR), the installed layout and its validators, the installed
# launcher starting the real client against the dev service until the main window shows
# (its private copy made once, then reused), and the uninstall from install_manifest.txt
# leaving the member's copy alone. Needs an X display: run it under xvfb-run.
# KEEP_SCRATCH=1 keeps the scratch folder (installs, the member's copy, client output).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
start_test "$@"
# The run command's study service (start_service, stop_service, point_at_service).
. "$here/../../scripts/service.sh"
[ -n "${DISPLAY:-}" ] || { echo "install_test: needs a display (xvfb-run)" >&2; exit 1; }
headless_run=$build/tools/headlessrun/kavrel-headless-run
[ -x "$headless_run" ] || { echo "install_test: $headless_run is not built" >&2; exit 1; }

client_pid=

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds or SECONDS of real time
# have passed (a poll may itself take a while); false when time runs out.
wait_until() {
  local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
  shift
  until "$@"; do
    [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

client_running() { [ -n "$client_pid" ] && kill -0 "$client_pid" 2>/dev/null; }
client_gone() { ! client_running; }
# The client's main window, found by its running-instance marker as the run command finds it.
main_window_shown() { [ -n "$client_pid" ] && "$headless_run" --main-window "$client_pid" >/dev/null; }

stop_client() {
  client_running || return 0
  kill "$client_pid" 2>/dev/null || true
  wait_until 5 client_gone || kill -9 "$client_pid" 2>/dev/null || true
  wait "$client_pid" 2>/dev/null || true
}

service_bin=$build/devservice/kavrel-devservice
service_pid=
service_log=
service_url=
# Member files and a private signing key in the build's program folder, as a run of the
# client or of the publishing step leaves them, must not be installed. Only the ones
# missing are planted, and only those are removed again.
planted=()
# Set before planting: a run that stops while planting must not leave member files behind
# (a later publish of the program folder would ship them).
planted_web=
cleanup() {
  [ ${#planted[@]} -eq 0 ] || rm -f "${planted[@]}"
  [ -z "$planted_web" ] || rm -rf "$planted_web"
  stop_client
  stop_service
  if [ -n "${KEEP_SCRATCH:-}" ]; then echo "scratch kept: $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
[ -d "$build/program/skin" ] || { echo "install_test: $build/program is not a built program folder" >&2; exit 1; }
for f in data/config.ini detail.log BugReport.log skin/vip_login_pic.png vmupdate.key; do
  if [ ! -e "$build/program/$f" ]; then
    planted+=("$build/program/$f")
    echo "planted by install_test" >"$build/program/$f"
  fi
done
# The web views' data folder (cookies, site storage) is a member file too.
if [ ! -e "$build/program/data/web" ]; then
  planted_web=$build/program/data/web
  mkdir -p "$planted_web"
  echo "planted by install_test" >"$planted_web/cookies.sqlite"
fi

echo "== DESTDIR and plain prefix installs hold the same files"
DESTDIR=$scratch/dest cmake --install "$build" --prefix /usr >/dev/null
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$build/install_manifest.txt" "$scratch/manifest"
expect_eq "$(cd "$scratch/dest/usr" && find . | sort | md5sum)" "$(cd "$prefix" && find . | sort | md5sum)" "installed trees"
expect_eq "$(grep -vc "^$prefix/" "$scratch/manifest")" 0 "manifest entries outside the prefix"

echo "== the installed layout and its validators"
check_installed_layout "$prefix" "$build/program"

echo "== the installed launcher runs the member's copy of the client until its main window shows"
start_service 0 "$scratch/update" >/dev/null
# The installed domain.vmx names the default address; this run's service has its own port.
point_at_service "$prefix/lib/kavrel" "$service_url"

home=$scratch/home
copy=$home/.local/share/kavrel
mkdir -p "$home"
chmod 755 "$scratch"

# The member cannot write the installed program folder, as with a system install: the
# member is the user nobody when this runs as root, else the folder is made read-only.
xauth_file=${XAUTHORITY:-}
if [ "$(id -u)" -eq 0 ]; then
  chown nobody: "$home"
  if [ -n "$xauth_file" ]; then
    cp "$xauth_file" "$scratch/xauth"
    chown nobody: "$scratch/xauth"
    xauth_file=$scratch/xauth
  fi
  as_member=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
else
  chmod -R a-w "$prefix/lib/kavrel"
  as_member=()
fi

# start_installed: the launcher as the member would start it from the menu. Started as a
# plain command, so that every step execs and client_pid is the client's own pid.
start_installed() {
  "${as_member[@]}" env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY" XAUTHORITY="$xauth_file" "$prefix/bin/kavrel" \
    >>"$scratch/client.log" 2>&1 &
  client_pid=$!
}

start_installed
if wait_until 30 main_window_shown; then
  expect_eq "$(readlink -f "/proc/$client_pid/exe")" "$(readlink -f "$copy/Kavrel")" "program the launcher ran"
else
  fail "no main window of the installed client within 30 s (client output: $(tail -5 "$scratch/client.log"))"
fi
stop_client
expect_file "$copy/skin/config.xml" "the member's copy"
grep -q "^firstlogin=1" "$copy/data/config.ini" 2>/dev/null || fail "the client kept no settings in the member's copy"
expect_no_file "$prefix/lib/kavrel/data/config.ini" "settings in the installed folder"

inode=$(stat -c %i "$copy/Kavrel")
"${as_member[@]}" sh -c 'echo mine >"$1/data/notes.txt"' sh "$copy"
start_installed
wait_until 30 main_window_shown || fail "no main window at the second start"
stop_client
expect_eq "$(stat -c %i "$copy/Kavrel")" "$inode" "the copy is reused, not made again"
expect_file "$copy/data/notes.txt" "member file in the reused copy"

echo "== uninstalling from install_manifest.txt leaves the member's copy and settings"
chmod -R u+w "$prefix"
xargs rm -f <"$scratch/manifest"
expect_eq "$(find "$prefix" -type f | wc -l)" 0 "files left after the uninstall"
expect_file "$copy/Kavrel" "the member's copy after the uninstall"
expect_file "$copy/data/config.ini" "the member's settings after the uninstall"

finish
