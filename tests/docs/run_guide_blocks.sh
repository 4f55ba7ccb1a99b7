#!/usr/bin/env bash
# Runs every fenced block marked `sh` of a guide, in order, in one shell in a scratch folder, with
# the media tools on PATH: the guide's commands must work as shown. The guide's $PACKAGE, the
# unpacked vorlin-update package, holds a stand-in update.exe (the launcher is a Windows program,
# not built here).
#   run_guide_blocks.sh GUIDE.md TOOL_DIR...
set -euo pipefail
guide=$1
shift
for dir in "$@"; do PATH=$(cd "$dir" && pwd):$PATH; done
export PATH
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
script=$scratch/guide.sh
awk '/^```sh$/ { inside = 1; blocks++; print "echo \"== block " blocks "\""; next }
     /^```/ { inside = 0; next }
     inside { print }' "$guide" > "$script"
blocks=$(grep -c '^```sh$' "$guide")
if [ "$blocks" -eq 0 ]; then
  echo "no sh blocks in $guide"
  exit 1
fi
mkdir "$scratch/package"
printf 'MZ stand-in for the launcher' > "$scratch/package/update.exe"
export PACKAGE=$scratch/package
cd "$scratch"
if bash -euo pipefail "$script"; then
  echo "$blocks passed, 0 failed: the sh blocks of $(basename "$guide")"
else
  echo "0 passed, 1 failed: the sh blocks of $(basename "$guide") (see above)"
  exit 1
fi
