#!/usr/bin/env bash
# launcher_test.sh <build-dir>: the installed launcher's per-member copy, driven with a
# stand-in client (a small program that records where it ran and its arguments, then exits
# with a chosen code) in a scratch prefix. The installed folder is made read-only, and the
# member is a real other user (nobody) when this runs as root: either way the member
# really cannot write the installed program folder.
set -euo pipefail
. "$(dirname "$0")/checks.sh"
start_test "$@"
launcher_built=$build/packaging/kavrel
[ -x "$launcher_built" ] || { echo "launcher_test: $launcher_built is not built" >&2; exit 1; }
version=$(sed -n "s/^installed_version='\(.*\)'$/\1/p" "$launcher_built")

chmod 755 "$scratch"
cleanup() { chmod -R u+w "$scratch" 2>/dev/null || true; rm -rf "$scratch"; }
trap cleanup EXIT

# The stand-in is a real executable, so a running one holds its file as a client does.
cat >"$scratch/stand-in.c" <<'EOF'
#include <libgen.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
int main(int argc, char** argv)
{
    char exe[PATH_MAX] = {0};
    if (readlink("/proc/self/exe", exe, sizeof exe - 1) < 0) return 100;
    FILE* f = fopen(getenv("KAVREL_TEST_RECORD"), "w");
    if (!f) return 101;
    fprintf(f, "folder=%s\n", dirname(exe));
    for (int i = 1; i < argc; ++i) fprintf(f, "arg=[%s]\n", argv[i]);
    fclose(f);
    const char* hold = getenv("KAVREL_TEST_HOLD"); /* keep running until this file exists */
    for (int i = 0; hold && i < 200 && access(hold, F_OK) != 0; ++i) {
        struct timespec t = {0, 50 * 1000 * 1000};
        nanosleep(&t, NULL);
    }
    const char* code = getenv("KAVREL_TEST_EXIT");
    return code ? atoi(code) : 0;
}
EOF
cc -O2 -o "$scratch/stand-in" "$scratch/stand-in.c"

prefix=$scratch/prefix
installed=$prefix/lib/kavrel
home=$scratch/home
copy=$home/.local/share/kavrel
record=$home/record

# install_stand_in VERSION: a fresh scratch install whose launcher claims VERSION.
install_stand_in() {
  chmod -R u+w "$prefix" 2>/dev/null || true
  rm -rf "$prefix"
  mkdir -p "$prefix/bin" "$installed/skin" "$installed/data"
  sed "s/^installed_version='.*'$/installed_version='$1'/" "$launcher_built" >"$prefix/bin/kavrel"
  chmod 755 "$prefix/bin/kavrel"
  cp "$scratch/stand-in" "$installed/Kavrel"
  printf 'installed skin\n' >"$installed/skin/config.xml"
  printf '<VelmarRoot/>\n' >"$installed/domain.vmx"
  chmod -R a+rX "$prefix"
}

fresh_home() {
  rm -rf "$home"
  mkdir -p "$home"
  [ "$(id -u)" -ne 0 ] || chown nobody: "$home"
}

# member CMD...: runs CMD as the member; as_member CMD... also makes the installed folder
# read-only for everyone meanwhile (as some system installs are).
member() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups -- "$@"
  else
    "$@"
  fi
}
as_member() {
  local rc=0
  chmod -R a-w "$installed" 2>/dev/null || true
  member "$@" || rc=$?
  chmod -R u+w "$installed" 2>/dev/null || true
  return "$rc"
}

# launch [env assignments...] -- [arguments...]: the launcher as the member; sets $status.
launch() {
  local envs=()
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  status=0
  as_member env -i PATH=/usr/bin:/bin HOME="$home" KAVREL_TEST_RECORD="$record" "${envs[@]}" \
    "$prefix/bin/kavrel" "$@" 2>"$scratch/stderr" || status=$?
}

ran_in() { sed -n 's/^folder=//p' "$record"; }
as_member_writes() { as_member sh -c 'touch "$1/probe" && rm "$1/probe"' sh "$1"; }

echo "== first start makes the copy; arguments and exit code pass through"
install_stand_in "$version"
fresh_home
launch KAVREL_TEST_EXIT=7 -- "two words" "" "它's \"quoted\"" --x=1
expect_eq "$status" 7 "exit code"
expect_eq "$(ran_in)" "$(cd "$copy" && pwd -P)" "folder the client ran in"
expect_eq "$(grep '^arg=' "$record" | tr '\n' '|')" 'arg=[two words]|arg=[]|arg=[它'"'"'s "quoted"]|arg=[--x=1]|' "arguments"
for f in Kavrel skin/config.xml domain.vmx data; do expect_file "$copy/$f" "copy"; done
expect_eq "$(cat "$copy/.installed-version")" "$version" "stamp"
as_member_writes "$copy/data" || fail "the member cannot write the copy's data/"
as_member_writes "$copy/skin" || fail "the member cannot write the copy's program files"

echo "== a second start reuses the copy and keeps the member's files"
inode=$(stat -c %i "$copy/Kavrel")
as_member sh -c 'printf "[info]\r\nuser=zhangsan\r\n" >"$1/data/config.ini"; echo log >"$1/detail.log";
  echo bug >"$1/BugReport.log"; echo pic >"$1/skin/vip_login_pic.png"; echo self-updated >"$1/skin/config.xml"
  mkdir -p "$1/data/web"; echo cookies >"$1/data/web/cookies.sqlite"' sh "$copy"
launch -- --again
expect_eq "$status" 0 "exit code"
expect_eq "$(ran_in)" "$(cd "$copy" && pwd -P)" "folder the client ran in"
expect_eq "$(stat -c %i "$copy/Kavrel")" "$inode" "the copy's program was not copied again"
expect_eq "$(cat "$copy/skin/config.xml")" "self-updated" "an updated program file of the copy is kept"

echo "== a newer installed version refreshes program files, keeps data/ and member files"
newer=$(echo "$version" | awk -F. -v OFS=. '{ $NF = $NF + 1; print }')
install_stand_in "$newer"
printf 'new skin\n' >"$installed/skin/config.xml"
printf 'new\n' >"$installed/skin/new.png"
printf 'shipped default\n' >"$installed/data/defaults.ini"
printf 'installed settings\n' >"$installed/data/config.ini"
launch KAVREL_TEST_EXIT=3 -- --after-upgrade
expect_eq "$status" 3 "exit code"
expect_eq "$(cat "$copy/skin/config.xml")" "new skin" "refreshed program file"
expect_file "$copy/skin/new.png" "new program file"
expect_eq "$(cat "$copy/data/defaults.ini")" "shipped default" "data/ gains a file it lacked"
expect_eq "$(head -c 6 "$copy/data/config.ini")" "[info]" "member settings kept"
for f in detail.log BugReport.log skin/vip_login_pic.png data/web/cookies.sqlite; do expect_file "$copy/$f" "member file"; done
expect_eq "$(cat "$copy/.installed-version")" "$newer" "stamp"
grep -q '^arg=\[--after-upgrade\]$' "$record" || fail "arguments after a refresh"

echo "== refresh only when the installed version is newer (numbers, not text)"
# installed version, version the copy was refreshed from, refreshed?
while read -r inst copied want; do
  install_stand_in "$inst"
  printf 'installed %s\n' "$inst" >"$installed/skin/config.xml"
  as_member sh -c 'printf "%s\n" "$2" >"$1/.installed-version"; echo old >"$1/skin/config.xml"' sh "$copy" "$copied"
  launch -- x
  got=no
  [ "$(cat "$copy/skin/config.xml")" = "installed $inst" ] && got=yes
  expect_eq "$got" "$want" "refresh for installed $inst over copy $copied"
  expect_eq "$status" 0 "exit code ($inst over $copied)"
done <<'EOF'
3.0.0.26 3.0.0.25 yes
3.0.0.9 3.0.0.25 no
3.0.0.25 3.0.0.25 no
3.0.1 3.0.0.25 yes
3.0 3.0.0.1 no
10.0.0.0 9.9.9.9 yes
3.0.0.025 3.0.0.25 no
3.0.0.08 3.0.0.7 yes
EOF

echo "== a copy without its program is completed, whatever its stamp says"
install_stand_in "$version"
as_member sh -c 'rm -f "$1/Kavrel"; printf "%s\n" "$2" >"$1/.installed-version"' sh "$copy" "$version"
launch -- x
expect_eq "$(ran_in)" "$(cd "$copy" && pwd -P)" "folder the client ran in"
expect_eq "$(head -c 6 "$copy/data/config.ini")" "[info]" "member settings kept"

echo "== a refresh while the copy's client runs replaces its program, the running one goes on"
install_stand_in "$version"
fresh_home
chmod -R a-w "$installed"
member env -i PATH=/usr/bin:/bin HOME="$home" KAVREL_TEST_RECORD="$home/running" KAVREL_TEST_HOLD="$home/release" \
  KAVREL_TEST_EXIT=6 "$prefix/bin/kavrel" &
running=$!
for _ in $(seq 200); do [ -s "$home/running" ] && break; sleep 0.05; done
chmod -R u+w "$installed"
expect_file "$home/running" "record of the running client"
install_stand_in "$newer"
printf 'newest skin\n' >"$installed/skin/config.xml"
launch -- second
expect_eq "$status" 0 "exit code of the start that refreshed"
expect_eq "$(cat "$copy/skin/config.xml")" "newest skin" "refreshed while running"
expect_eq "$(cat "$copy/.installed-version")" "$newer" "stamp after refreshing a running copy"
member touch "$home/release"
s1=0
wait "$running" || s1=$?
expect_eq "$s1" 6 "exit code of the client that ran during the refresh"

echo "== two starts at once both run and leave one sound copy"
install_stand_in "$version"
fresh_home
start_member() { member env -i PATH=/usr/bin:/bin HOME="$home" "$@" "$prefix/bin/kavrel"; }
chmod -R a-w "$installed"
start_member KAVREL_TEST_RECORD="$home/r1" KAVREL_TEST_EXIT=4 &
p1=$!
start_member KAVREL_TEST_RECORD="$home/r2" KAVREL_TEST_EXIT=5 &
p2=$!
s1=0 s2=0
wait "$p1" || s1=$?
wait "$p2" || s2=$?
chmod -R u+w "$installed"
expect_eq "$s1/$s2" "4/5" "exit codes of simultaneous starts"
expect_eq "$(cat "$copy/.installed-version")" "$version" "stamp"
cmp -s "$installed/Kavrel" "$copy/Kavrel" || fail "the copied program differs from the installed one"

echo "== XDG_DATA_HOME is honoured when absolute, ignored when relative"
fresh_home
launch XDG_DATA_HOME="$home/xdg" -- x
expect_file "$home/xdg/kavrel/Kavrel" "copy under XDG_DATA_HOME"
launch XDG_DATA_HOME=relative/path -- x
expect_file "$copy/Kavrel" "copy under ~/.local/share"

echo "== a writable installed folder runs in place; KAVREL_COPY=1 asks for the copy"
fresh_home
chmod -R u+w "$installed"
status=0
env -i PATH=/usr/bin:/bin HOME="$home" KAVREL_TEST_RECORD="$record" KAVREL_TEST_EXIT=9 "$prefix/bin/kavrel" in-place || status=$?
expect_eq "$status" 9 "exit code"
expect_eq "$(ran_in)" "$(cd "$installed" && pwd -P)" "folder the client ran in"
expect_no_file "$copy" "no copy for a writable install"
env -i PATH=/usr/bin:/bin HOME="$home" KAVREL_TEST_RECORD="$record" KAVREL_COPY=1 "$prefix/bin/kavrel" forced || true
expect_eq "$(ran_in)" "$(cd "$copy" && pwd -P)" "folder the client ran in with KAVREL_COPY=1"

echo "== started through a symbolic link, and without a program folder"
fresh_home
ln -s "$prefix/bin/kavrel" "$scratch/kavrel-link"
status=0
as_member env -i PATH=/usr/bin:/bin HOME="$home" KAVREL_TEST_RECORD="$record" "$scratch/kavrel-link" || status=$?
expect_eq "$status" 0 "exit code through a link"
expect_eq "$(ran_in)" "$(cd "$copy" && pwd -P)" "folder the client ran in through a link"
chmod -R u+w "$installed"
rm -rf "$installed"
launch -- x
expect_eq "$status" 127 "exit code without a program folder"
grep -q "no program folder" "$scratch/stderr" || fail "message without a program folder"

finish
