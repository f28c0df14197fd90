#!/usr/bin/env bash
# run.sh [client arguments...]: builds everything, starts the local study service on
# loopback at the address the shipped domain.vmx names (http://127.0.0.1:18080), then runs
# the client from the build's program folder. The service stops when the client exits (or
# on Ctrl-C when there is no client to run yet).
#
# The service also publishes an update folder: a snapshot of the program folder with its
# server manifest, made by vmUpdate's generate mode, so the client's update check finds an
# installation that is up to date. Member-specific files (settings, logs, the member
# picture) are left out of the snapshot. The manifest is signed with a development key
# pair kept in <build>/devkeys/ (made on the first run); the program folder holds its
# vmupdate.pub, so the client's updater accepts only what this loop signed.
#
# Environment: KAVREL_BUILD_DIR (default build/), KAVREL_SERVICE_PORT (default 18080).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${KAVREL_BUILD_DIR:-$top/build}
port=${KAVREL_SERVICE_PORT:-18080}

"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$dir"

program="$dir/program"
service_bin="$dir/devservice/kavrel-devservice"
publish="$dir/devservice-update"
snapshot="$dir/devservice-snapshot"

rm -rf "$publish" "$snapshot"
mkdir -p "$publish" "$snapshot"
if [ -x "$program/vmUpdate" ]; then
  # Signed updates in the everyday loop: a development key pair made once in the build
  # folder, its public key shipped in the program folder, the published manifest signed.
  keys="$dir/devkeys"
  if [ ! -f "$keys/vmupdate.key" ]; then
    "$program/vmUpdate" -k "$keys"
  fi
  cp "$keys/vmupdate.pub" "$program/vmupdate.pub"
  cp -a "$program/." "$snapshot/"
  rm -f "$snapshot/data/config.ini" "$snapshot"/*.log "$snapshot/skin/vip_login_pic.png"
  if ! VMUPDATE_SIGNING_KEY="$keys/vmupdate.key" "$program/vmUpdate" -g "$publish" vmupdate.xml 3.0.0.25 "$snapshot" >/dev/null; then
    echo "run.sh: vmUpdate could not publish the update folder; the service publishes nothing" >&2
  fi
else
  echo "run.sh: $program/vmUpdate is not built yet; the service publishes an empty update folder" >&2
fi

log=$(mktemp)
"$service_bin" --port "$port" --update-folder "$publish" >"$log" 2>&1 &
service_pid=$!
stop_service() {
  if kill -0 "$service_pid" 2>/dev/null; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap stop_service EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for _ in $(seq 100); do
  grep -q "listening on" "$log" && break
  if ! kill -0 "$service_pid" 2>/dev/null; then
    cat "$log" >&2
    echo "run.sh: the study service did not start (is port $port in use?)" >&2
    exit 1
  fi
  sleep 0.1
done
cat "$log"
echo "Demo members: zhangsan / 123456, 李四 / 学习2013, wangwu / it's-me (devservice/README.md)"

if [ -x "$program/Kavrel" ]; then
  status=0
  (cd "$program" && ./Kavrel "$@") || status=$?
  exit "$status"
fi
echo "run.sh: $program/Kavrel is not built yet; the study service keeps running until Ctrl-C."
wait "$service_pid" || true
