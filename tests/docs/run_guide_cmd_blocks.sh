#!/usr/bin/env bash
# Runs every fenced block marked `bat` of a guide, in order, as one batch file under Wine's cmd in a
# scratch folder, with the Windows builds of the media tools on PATH: the guide's Command Prompt
# steps must work as shown. Each command must succeed (the batch stops at the first that fails).
# The guide's steps start from the publisher's own picture, menu.png, which is made here, and take
# update.exe from %PACKAGE%, the unpacked vorlin-update package: a folder here with the launcher
# of this build (LAUNCHER=update.exe).
#   [LAUNCHER=update.exe] run_guide_cmd_blocks.sh GUIDE.md TOOL_DIR...
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
guide=$1
shift
winpath=
for dir in "$@"; do
  winpath="${winpath:+$winpath;}Z:$(cd "$dir" && pwd | tr / '\\')"
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A command line, then a stop if it failed; remarks and blank lines as they are.
awk '/^```bat$/ { inside = 1; blocks++; print "@echo == block " blocks; next }
     /^```/ { inside = 0; next }
     inside && /^(rem |$)/ { print; next }
     inside { print; print "@if errorlevel 1 exit /b 1" }' "$guide" | sed 's/$/\r/' > "$scratch/guide.cmd"
blocks=$(grep -c '^```bat$' "$guide" || true)
if [ "$blocks" -eq 0 ]; then
  echo "no bat blocks in $guide"
  exit 1
fi

python3 - "$scratch/menu.png" <<'PY'
import struct, sys, zlib
side = 200
rows = b"".join(b"\0" + bytes(v for x in range(side) for v in (x, y, (x * y) % 256))
                for y in range(side))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)) +
       chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
open(sys.argv[1], "wb").write(png)
PY

mkdir "$scratch/package"
if [ -n "${LAUNCHER:-}" ]; then
  cp "$LAUNCHER" "$scratch/package/update.exe"
else
  printf 'MZ stand-in for the launcher' > "$scratch/package/update.exe"
fi
cd "$scratch"
if PACKAGE="Z:$(pwd | tr / '\\')\\package" WINEPATH="$winpath" "$top/scripts/wine-run" cmd /c guide.cmd; then
  echo "$blocks passed, 0 failed: the bat blocks of $(basename "$guide")"
else
  echo "0 passed, 1 failed: the bat blocks of $(basename "$guide") (see above)"
  exit 1
fi
