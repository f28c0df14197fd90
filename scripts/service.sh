# shellcheck shell=bash
# service.sh: the local study service for run.sh and the packaging tests, sourced (not
# run on its own). start_service runs $service_bin and sets service_pid, service_log and
# service_url; stop_service stops it. publish_update_folder uses $dir (the build folder)
# for the development signing keys.

# strip_member_files FOLDER: a copied program folder without the member's files (settings,
# logs, the member picture, the web views' data: cookies and site storage).
strip_member_files() {
  rm -f "$1/data/config.ini" "$1"/*.log "$1/skin/vip_login_pic.png"
  rm -rf "$1/data/web"
}

# publish_update_folder PROGRAM-FOLDER PUBLISH-FOLDER SNAPSHOT-FOLDER
publish_update_folder() {
  local program=$1 publish=$2 snapshot=$3
  rm -rf "$publish" "$snapshot"
  mkdir -p "$publish" "$snapshot"
  if [ -x "$program/vmUpdate" ]; then
    # Signed updates in the everyday loop: a development key pair made once in the build
    # folder, its public key shipped in the program folder, the published manifest signed.
    local keys="$dir/devkeys"
    if [ ! -f "$keys/vmupdate.key" ]; then
      "$program/vmUpdate" -k "$keys"
    fi
    cp "$keys/vmupdate.pub" "$program/vmupdate.pub"
    cp -a "$program/." "$snapshot/"
    strip_member_files "$snapshot"
    if ! VMUPDATE_SIGNING_KEY="$keys/vmupdate.key" "$program/vmUpdate" -g "$publish" vmupdate.xml 3.0.0.25 "$snapshot" >/dev/null; then
      echo "run.sh: vmUpdate could not publish the update folder; the service publishes nothing" >&2
    fi
  else
    echo "run.sh: $program/vmUpdate is not built yet; the service publishes an empty update folder" >&2
  fi
}

# start_service PORT PUBLISH-FOLDER: sets service_pid and service_url (port 0: any free one).
start_service() {
  local port=$1 publish=$2
  service_log=$(mktemp)
  "$service_bin" --port "$port" --update-folder "$publish" >"$service_log" 2>&1 &
  service_pid=$!
  for _ in $(seq 100); do
    grep -q "listening on" "$service_log" && break
    if ! kill -0 "$service_pid" 2>/dev/null; then
      cat "$service_log" >&2
      echo "run.sh: the study service did not start (is port $port in use?)" >&2
      exit 1
    fi
    sleep 0.1
  done
  service_url=$(sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' "$service_log" | head -1)
  if [ -z "$service_url" ]; then
    cat "$service_log" >&2
    echo "run.sh: the study service did not report its address" >&2
    exit 1
  fi
  cat "$service_log"
}

stop_service() {
  if [ -n "$service_pid" ] && kill -0 "$service_pid" 2>/dev/null; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  [ -z "$service_log" ] || rm -f "$service_log"
}

# point_at_service FOLDER URL: the folder's domain.vmx names the service at URL.
point_at_service() {
  cat >"$1/domain.vmx" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<VelmarRoot>
  <url>
    <web>$2/</web>
    <domain>$2</domain>
    <posturl>/service/post</posturl>
    <domain_soft>$2/soft</domain_soft>
  </url>
</VelmarRoot>
EOF
}
