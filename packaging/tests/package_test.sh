#!/usr/bin/env bash
# package_test.sh <build-dir>: scripts/package.sh makes the Debian package from the built
# tree; its control fields, its contents unpacked into a scratch root (dpkg -x), the desktop
# entry and metadata there, and the unpacked launcher making the member's copy and running
# the packaged client.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
start_test "$@"

echo "== scripts/package.sh refuses a release without keys or with a local download host"
"$build/program/vmUpdate" -k "$scratch/keys" >/dev/null
for refused in "KAVREL_DOWNLOAD_HOST=updates.example.org" \
               "KAVREL_UPDATE_KEYS_FILE=$scratch/keys/vmupdate.pub KAVREL_DOWNLOAD_HOST=127.0.0.1:18080"; do
  if env -u KAVREL_UPDATE_KEYS_FILE -u KAVREL_DOWNLOAD_HOST KAVREL_SKIP_SETUP=1 $refused \
      "$here/../../scripts/package.sh" "$scratch/refused" >"$scratch/refused.log" 2>&1; then
    fail "package.sh made a package with $refused"
  fi
done

echo "== scripts/package.sh builds the release package, the publisher's key built in"
release=$build-release
# A development key in the release's program folder must not reach the package.
mkdir -p "$release/program" && cp "$scratch/keys/vmupdate.pub" "$release/program/vmupdate.pub"
deb=$(KAVREL_SKIP_SETUP=1 KAVREL_UPDATE_KEYS_FILE="$scratch/keys/vmupdate.pub" KAVREL_DOWNLOAD_HOST=updates.example.org \
  "$here/../../scripts/package.sh" "$release" 2>"$scratch/package.log" | tail -1) \
  || { cat "$scratch/package.log" >&2; exit 1; }
[ -f "$deb" ] || { echo "package_test: no package made ($deb)" >&2; exit 1; }
echo "$deb"
build=$release

echo "== control fields: name, the client's version, dependencies computed from the binaries"
version=$(sed -n "s/^installed_version='\(.*\)'$/\1/p" "$build/packaging/kavrel")
expect_eq "$(dpkg-deb -f "$deb" Package)" kavrel "Package"
expect_eq "$(dpkg-deb -f "$deb" Version)" "$version" "Version"
expect_eq "$(dpkg-deb -f "$deb" Architecture)" "$(dpkg --print-architecture)" "Architecture"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in 'libc6 (>=' 'libgtk-3-0 (>=' 'libcurl4 (>=' 'libtinyxml2-9' fonts-wqy-microhei; do
  [[ "$depends" == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
done

echo "== contents, unpacked into a scratch root"
root=$scratch/root
dpkg -x "$deb" "$root"
expect_eq "$(cd "$root" && find . -mindepth 1 -maxdepth 1)" "./usr" "the package installs under /usr only"
check_installed_layout "$root/usr" "$build/program"
file "$root/usr/lib/kavrel/Kavrel" | grep -q ", stripped" || fail "the packaged client is not stripped"
expect_eq "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"' | wc -l)" 0 "files not owned by root"
expect_eq "$(dpkg-deb -c "$deb" | grep -Ec '/vmupdate\.(pub|key)$' || true)" 0 "key files in the package"
grep -qF "$(grep -v '^#' "$scratch/keys/vmupdate.pub")" "$root/usr/lib/kavrel/vmUpdate" \
  || fail "the packaged updater does not hold the publisher's key"

echo "== the unpacked launcher makes the member's copy and runs the packaged client"
home=$scratch/home
mkdir -p "$home"
status=0
env -i PATH=/usr/bin:/bin HOME="$home" KAVREL_COPY=1 "$root/usr/bin/kavrel" >"$scratch/out" 2>&1 || status=$?
# Without a display the client ends at once with 1 and says why: proof that it ran.
expect_eq "$status" 1 "exit code of the packaged client without a display"
grep -q "no X server could be reached" "$scratch/out" || fail "the packaged client did not run: $(cat "$scratch/out")"
cmp -s "$root/usr/lib/kavrel/Kavrel" "$home/.local/share/kavrel/Kavrel" || fail "the member's copy is not the packaged client"

finish
