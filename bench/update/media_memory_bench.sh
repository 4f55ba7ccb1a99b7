#!/usr/bin/env bash
# Peak memory and time of `vorlin-media seal` and `vorlin-media check` (and `vorlin-arc verify`)
# on a media whose data.arc is large: the tools read archives in fixed-size pieces, so their peak
# resident memory must not grow with the archive. The archive is packed once from random data
# (never a sparse file) and removed at the end unless KEEP=1.
#
#   bench/update/media_memory_bench.sh [GB [rounds]]      default 1.9 GB (10^9 bytes), 3 rounds
#
# Environment: TOOL_DIR (default build/native/tools), MEDIA (default a new folder in /tmp).
# Prints each run as "COMMAND: peak N MB, wall S s" and the median of the rounds.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
gb=${1:-1.9}
rounds=${2:-3}
tools=${TOOL_DIR:-$top/build/native/tools}
work=${MEDIA:-$(mktemp -d /tmp/media-memory-bench.XXXXXX)}
for t in media/vorlin-media arc/vorlin-arc; do
  [ -x "$tools/$t" ] || { echo "no tool at $tools/$t (set TOOL_DIR)" >&2; exit 2; }
done
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

bytes=$(awk -v g="$gb" 'BEGIN { printf "%d", g * 1e9 }')
mkdir -p "$work/data" "$work/media"
head -c "$bytes" /dev/urandom > "$work/data/big.dat"
"$tools/arc/vorlin-arc" pack "$work/media/data.arc" "$work/data" >/dev/null
rm -rf "$work/data"
printf 'EXENAME game.exe\r\n' > "$work/media/vorlin.env"
printf 'MZ' > "$work/media/update.exe"
printf 'game' > "$work/media/game.bin"
sync
echo "media $work/media: data.arc of $bytes bytes"

# Prints "peak_MB wall_s" of one run (status ignored: check finds no picture on this media).
measure() {
  /usr/bin/time -f '%M %e' "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.0f %s\n", $1 / 1024, $2 }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for command in "media/vorlin-media seal" "media/vorlin-media check" "arc/vorlin-arc verify"; do
  peaks=(); walls=()
  target=$work/media
  [ "$command" = "arc/vorlin-arc verify" ] && target=$work/media/data.arc
  for _ in $(seq 1 "$rounds"); do
    # shellcheck disable=SC2086
    read -r peak wall < <(measure "$tools"/$command "$target" || true)
    peaks+=("$peak"); walls+=("$wall")
    echo "${command#*/}: peak $peak MB, wall $wall s"
  done
  echo "median ${command#*/}: peak $(median "${peaks[@]}") MB, wall $(median "${walls[@]}") s"
done
