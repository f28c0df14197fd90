#!/usr/bin/env bash
# package.sh [build-dir]: builds the release configuration (KAVREL_RELEASE, in its own
# build folder, default build-release) and makes the Debian package with CPack, its
# dependencies computed from the binaries by dpkg-shlibdeps. Prints the package's path;
# install it with `sudo apt install ./build-release/kavrel_*.deb`.
#
# Environment:
#   KAVREL_UPDATE_KEYS_FILE  the publisher's public keys (vmupdate.pub's form), built
#                            into vmUpdate; required
#   KAVREL_DOWNLOAD_HOST     the update download server, host[:port] or https://host[:port];
#                            required, and not this machine
#   KAVREL_SKIP_SETUP=1      skips the package installation step (CI has done it)
# The package never holds a key file: a development key left in a program folder by
# run.sh stays out of it, and the installed updater trusts only the built-in keys.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build-release}
dir=$(mkdir -p "$dir" && cd "$dir" && pwd)

: "${KAVREL_UPDATE_KEYS_FILE:?package.sh: set KAVREL_UPDATE_KEYS_FILE to the publisher public key file}"
: "${KAVREL_DOWNLOAD_HOST:?package.sh: set KAVREL_DOWNLOAD_HOST to the update download server}"
[ -f "$KAVREL_UPDATE_KEYS_FILE" ] || { echo "package.sh: no key file at $KAVREL_UPDATE_KEYS_FILE" >&2; exit 1; }
keys=$(cd "$(dirname "$KAVREL_UPDATE_KEYS_FILE")" && pwd)/$(basename "$KAVREL_UPDATE_KEYS_FILE")

[ "${KAVREL_SKIP_SETUP:-0}" = 1 ] || "$top/scripts/setup.sh"
# Configuring refuses a release without keys or with a download host on this machine.
"$top/scripts/build.sh" "$dir" -DKAVREL_RELEASE=ON -DKAVREL_BUILD_BENCH=OFF \
  "-DKAVREL_UPDATE_KEYS_FILE=$keys" "-DKAVREL_DOWNLOAD_HOST=$KAVREL_DOWNLOAD_HOST"
rm -f "$dir/program/vmupdate.pub" "$dir/program/vmupdate.key"

rm -f "$dir"/kavrel_*.deb
(cd "$dir" && cpack -G DEB -B "$dir/cpack" >"$dir/cpack.log" 2>&1) || {
  cat "$dir/cpack.log" >&2
  echo "package.sh: cpack failed" >&2
  exit 1
}
deb=$(ls "$dir"/cpack/kavrel_*.deb)
if dpkg-deb -c "$deb" | grep -Eq '/vmupdate\.(pub|key)$'; then
  echo "package.sh: $deb holds a key file; it is not published" >&2
  rm -f "$deb"
  exit 1
fi
mv "$deb" "$dir/"
ls "$dir"/kavrel_*.deb
