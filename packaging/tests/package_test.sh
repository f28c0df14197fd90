#!/usr/bin/env bash
# package_test.sh <build-dir>: scripts/package.sh makes the Debian package from the built
# tree; its control fields, its contents unpacked into a scratch root (dpkg -x), the desktop
# entry and metadata there, and the unpacked launcher making the member's copy and running
# the packaged client.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
start_test "$@"

echo "== scripts/package.sh builds the package"
deb=$(KAVREL_SKIP_SETUP=1 "$here/../../scripts/package.sh" "$build" 2>"$scratch/package.log" | tail -1) \
  || { cat "$scratch/package.log" >&2; exit 1; }
[ -f "$deb" ] || { echo "package_test: no package made ($deb)" >&2; exit 1; }
echo "$deb"

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
