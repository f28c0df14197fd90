#!/usr/bin/env bash
# package.sh [build-dir]: builds the program (reusing the build folder) and makes the Debian
# package with CPack, its dependencies computed from the binaries by dpkg-shlibdeps. Prints
# the package's path; install it with `sudo apt install ./build/kavrel_*.deb`.
#
# Environment: KAVREL_SKIP_SETUP=1 skips the package installation step (CI has done it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build}
dir=$(mkdir -p "$dir" && cd "$dir" && pwd)

[ "${KAVREL_SKIP_SETUP:-0}" = 1 ] || "$top/scripts/setup.sh"
"$top/scripts/build.sh" "$dir"

rm -f "$dir"/kavrel_*.deb
(cd "$dir" && cpack -G DEB -B "$dir/cpack" >"$dir/cpack.log" 2>&1) || {
  cat "$dir/cpack.log" >&2
  echo "package.sh: cpack failed" >&2
  exit 1
}
mv "$dir"/cpack/kavrel_*.deb "$dir/"
ls "$dir"/kavrel_*.deb
