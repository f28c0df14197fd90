# shellcheck shell=bash
# checks.sh: shared by the installation tests (sourced). Failures are counted, so one run
# reports every broken check; finish ends the test with the verdict.

# start_test BUILD-DIR: sets test_name, build (absolute) and scratch, a fresh folder that
# is removed at exit (a test with more to clean up sets its own trap and removes it too).
start_test() {
  test_name=$(basename "$0" .sh)
  [ -d "${1:-}" ] || { echo "usage: $0 <build-dir>" >&2; exit 2; }
  build=$(cd "$1" && pwd)
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
}

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"; }
expect_file() { [ -e "$1" ] || fail "$2: $1 is missing"; }
expect_no_file() { [ ! -e "$1" ] || fail "$2: $1 should not exist"; }

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$test_name: $failures failure(s)" >&2
    exit 1
  fi
  echo "$test_name: all passed"
}

readonly kAppId=com.velmar.Kavrel

# check_installed_layout ROOT PROGRAM-FOLDER: ROOT (an install prefix, or usr/ of an unpacked
# package) holds the program folder, launcher, desktop entry, icons and metadata, and no
# member file or private key of the build's PROGRAM-FOLDER.
check_installed_layout() {
  local root=$1 built=$2 lib=$1/lib/kavrel f
  for f in "$root/bin/kavrel" "$lib/Kavrel" "$lib/vmUpdate"; do
    [ -x "$f" ] || fail "layout: $f is not an executable"
  done
  for f in skin/config.xml domain.vmx; do expect_file "$lib/$f" "layout"; done
  # The client's icon for its windows and the tray, every size as rendered.
  [ -n "$(find "$built/icons" -name 'kavrel-*.png' 2>/dev/null)" ] || fail "layout: no icons in $built/icons"
  for f in "$built"/icons/kavrel-*.png; do
    cmp -s "$f" "$lib/icons/${f##*/}" || fail "layout: icons/${f##*/} not installed as built"
  done
  [ -d "$lib/data" ] || fail "layout: $lib/data is not a folder"
  expect_eq "$(find "$lib/data" -mindepth 1 -name 'config.ini*' | wc -l)" 0 "member settings in the installed data/"
  expect_no_file "$lib/data/web" "the web views' data in the installed data/"
  expect_eq "$(find "$lib" -name '*.log' -o -name vip_login_pic.png -o -name vmupdate.key | wc -l)" 0 \
    "member files or the private key in the program folder"
  if [ -e "$built/vmupdate.pub" ]; then
    cmp -s "$built/vmupdate.pub" "$lib/vmupdate.pub" || fail "layout: vmupdate.pub not installed as built"
  else
    expect_no_file "$lib/vmupdate.pub" "layout"
  fi

  local desktop=$root/share/applications/$kAppId.desktop
  expect_file "$desktop" "desktop entry"
  if [ -e "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
    grep -qx "Icon=$kAppId" "$desktop" || fail "desktop entry: Icon is not $kAppId"
    grep -qx "Exec=kavrel" "$desktop" || fail "desktop entry: Exec is not the launcher"
    grep -q "^Categories=.*Education;" "$desktop" || fail "desktop entry: not in Education"
    grep -q "^Name\[zh_CN\]=" "$desktop" || fail "desktop entry: no Chinese name"
  fi

  local size png
  for size in 48 64 128 256; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/$kAppId.png
    expect_file "$png" "icon"
    [ ! -e "$png" ] || file "$png" | grep -q "PNG image data, $size x $size," || fail "icon $png is not $size px"
  done
  expect_file "$root/share/icons/hicolor/scalable/apps/$kAppId.svg" "scalable icon"

  local meta=$root/share/metainfo/$kAppId.metainfo.xml
  expect_file "$meta" "AppStream metadata"
  if [ -e "$meta" ]; then
    appstreamcli validate --no-net "$meta" >/dev/null || fail "appstreamcli validate --no-net $meta"
    grep -q "<id>$kAppId</id>" "$meta" || fail "metadata: id is not $kAppId"
    grep -q "<launchable type=\"desktop-id\">$kAppId.desktop</launchable>" "$meta" || fail "metadata: launchable"
    grep -q '<image type="source"[^>]*>https\?://[^<]*/docs/images/main_window.png</image>' "$meta" \
      || fail "metadata: no screenshot of the README's main window picture"
  fi
}
