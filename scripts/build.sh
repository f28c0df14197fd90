#!/usr/bin/env bash
# build.sh [build-dir] [cmake -D arguments...] [--target name]: configures and builds
# with two jobs (everything, or the one target named).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build}
shift || true
defs=()
target=()
while [ $# -gt 0 ]; do
  case $1 in
    --target) target=(--target "$2"); shift 2 ;;
    *) defs+=("$1"); shift ;;
  esac
done
cmake -S "$top" -B "$dir" -G Ninja "${defs[@]}" >/dev/null
cmake --build "$dir" -j2 "${target[@]}"
