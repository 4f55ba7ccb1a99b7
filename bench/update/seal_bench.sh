#!/usr/bin/env bash
# Seal speed against cat: `vorlin-media seal` of a media of several GiB against `cat` of the same
# files to /dev/null, in the same run, the order alternating from round to round; prints every
# round and the median of each. The media is written once with real (random) data, never as
# sparse files, and removed at the end unless KEEP=1.
#
#   bench/update/seal_bench.sh [GiB [rounds]]      default 2.5 GiB, 7 rounds
#
# Environment: TOOL (default build/native/tools/media/vorlin-media), MEDIA (default a new folder
# in /tmp), COLD=1 to drop the page cache before every run (root only: measures the disk, not
# memory).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
gib=${1:-2.5}
rounds=${2:-7}
tool=${TOOL:-$top/build/native/tools/media/vorlin-media}
media=${MEDIA:-$(mktemp -d /tmp/seal-bench.XXXXXX)}
[ -x "$tool" ] || { echo "no tool at $tool (set TOOL)" >&2; exit 2; }
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$media"; }
trap cleanup EXIT

# The media: three archives sharing the size, the executable, a readme and 300 help files.
mib=$(awk -v g="$gib" 'BEGIN { printf "%d", g * 1024 }')
mkdir -p "$media/help"
write() { head -c "$2" /dev/urandom > "$1"; }
write "$media/data.arc" $((mib / 2))M
write "$media/voice.arc" $((mib * 3 / 10))M
write "$media/fastdata.arc" $((mib - mib / 2 - mib * 3 / 10 - 8))M
write "$media/game.bin" 6M
printf 'EXENAME game.exe\r\n' > "$media/vorlin.env"
printf 'read me\r\n' > "$media/update.txt"
for i in $(seq 1 300); do write "$media/help/page$i.htm" $((i * 997 % 65536 + 1)); done
sync
files=("$media/game.bin" "$media/data.arc" "$media/fastdata.arc" "$media/voice.arc"
       "$media/update.txt" "$media"/help/*)
bytes=$(cat "${files[@]}" | wc -c)
echo "media $media: $(( bytes / 1048576 )) MiB in ${#files[@]} files; tool $tool"

drop() { if [ "${COLD:-0}" = 1 ]; then sync; echo 3 > /proc/sys/vm/drop_caches; fi; }
# Prints "wall cpu" in seconds (cpu: user + system, all threads).
timed() { /usr/bin/time -f '%e %U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{ print $1, $2 + $3 }'; }
run_seal() { drop; timed "$tool" seal "$media"; }
run_cat() { drop; timed sh -c 'cat "$@" > /dev/null' cat "${files[@]}"; }

seal_wall=(); cat_wall=(); seal_cpu=(); cat_cpu=()
run_cat > /dev/null  # warm-up: both start from the same cache state
for r in $(seq 1 "$rounds"); do
  if [ $((r % 2)) = 1 ]; then s=$(run_seal); c=$(run_cat); else c=$(run_cat); s=$(run_seal); fi
  seal_wall+=("${s% *}"); seal_cpu+=("${s#* }"); cat_wall+=("${c% *}"); cat_cpu+=("${c#* }")
  printf 'round %d: seal %.2f s (cpu %.2f s)  cat %.2f s (cpu %.2f s)\n' "$r" ${s} ${c}
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ms=$(median "${seal_wall[@]}"); mc=$(median "${cat_wall[@]}")
awk -v s="$ms" -v c="$mc" -v b="$bytes" -v sc="$(median "${seal_cpu[@]}")" \
    -v cc="$(median "${cat_cpu[@]}")" 'BEGIN {
  printf "median: seal %.2f s (%.0f MB/s, cpu %.2f s)  cat %.2f s (%.0f MB/s, cpu %.2f s)  seal/cat %.2fx\n",
         s, b / s / 1e6, sc, c, b / c / 1e6, cc, s / c }'
