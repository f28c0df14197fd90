#!/usr/bin/env bash
# build.sh [build-dir] [extra cmake arguments...]: configures and builds with two jobs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build}
shift || true
cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j2
