#!/usr/bin/env bash
# The release packages as a publisher gets them: packs build/win and build/native as
# scripts/release does (--from-build, without the clean checkout), unpacks the zip and the tarball
# into empty folders and uses what they carry:
#   - the packaged update.exe on the packaged demo media opens its menu and ends (under Wine);
#   - every packaged tool answers --version and --help, the Windows ones under Wine and the
#     native ones directly, with the version text "vorlin-NAME MAJOR.MINOR.PATCH+g<commit>";
#   - VERSIONINFO of every Windows program as Windows reads it, their headers (32-bit programs for
#     i386, the launcher a GUI program with its manifest), the notices, the media guide, the glibc
#     note, SHA256SUMS and BUILDINFO.
# On a machine that runs no 32-bit program (the 64-bit road, scripts/windows-road.sh) the packaged
# update.exe and Windows tools cannot run: they are checked without running them, and the same
# commit's 64-bit launcher and tools run instead, on the packaged demo media; the output says so.
# Run by ./test after the CTest runs (inside its Wine session); on its own it starts a session in
# the project's prefix. Ends with one summary line; the exit status is 1 when a check failed.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/windows-road.sh
. "$top/scripts/windows-road.sh"
use_windows_road "$top/build"
tested_build=$VORLIN_WIN_BUILD
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlin-package-test.XXXXXX")
checks=0
failed=0

own_session=0
finish() {
  [ "$own_session" = 0 ] || end_wine_session
  rm -rf "$work"
}
trap finish EXIT

pass() { checks=$((checks + 1)); }
fail() {
  checks=$((checks + 1))
  failed=$((failed + 1))
  echo "FAILED: $*"
}
# check DESCRIPTION COMMAND...: one check, passed when the command succeeds.
check() {
  local what=$1
  shift
  if "$@"; then pass; else fail "$what"; fi
}
summary() {
  if [ "$failed" = 0 ]; then
    echo "release package test: all $checks checks passed"
    exit 0
  fi
  echo "release package test: $failed of $checks checks FAILED"
  exit 1
}

# --- Packing --------------------------------------------------------------------------------
out=$work/out
if ! "$top/scripts/release" --from-build --out "$out" > "$work/release.log" 2>&1; then
  cat "$work/release.log"
  fail "scripts/release --from-build"
  summary
fi
pass
zips=("$out"/vorlin-update-*-win32.zip)
tars=("$out"/vorlin-media-tools-*-linux-x86_64.tar.gz)
if [ ${#zips[@]} != 1 ] || [ ! -f "${zips[0]}" ] || [ ${#tars[@]} != 1 ] || [ ! -f "${tars[0]}" ]; then
  ls -l "$out"
  fail "one zip and one tarball in the release folder"
  summary
fi
zip=${zips[0]}
tar=${tars[0]}
number=$(tr -d ' \r\n' < "$top/VERSION")
check "the packages are named by VERSION ($number)" \
  test "$(basename "$zip")" = "vorlin-update-$number-win32.zip" -a \
       "$(basename "$tar")" = "vorlin-media-tools-$number-linux-x86_64.tar.gz"
check "SHA256SUMS holds both packages' digests" \
  sh -c "cd '$out' && [ \$(wc -l < SHA256SUMS) = 2 ] && sha256sum --quiet -c SHA256SUMS"

mkdir "$work/win" "$work/linux"
check "the zip unpacks" unzip -q "$zip" -d "$work/win"
check "the tarball unpacks" tar -xzf "$tar" -C "$work/linux"
win_root=$work/win/$(basename "$zip" .zip)
linux_root=$work/linux/$(basename "$tar" .tar.gz)
check "the zip holds one folder named like the package" \
  test "$(ls -A "$work/win")" = "$(basename "$win_root")"
check "the tarball holds one folder named like the package" \
  test "$(ls -A "$work/linux")" = "$(basename "$linux_root")"

tools=()
for dir in "$top"/tools/*/; do
  grep -qs "add_executable(vorlin-$(basename "$dir")" "$dir/CMakeLists.txt" && tools+=("$(basename "$dir")")
done

# --- Contents ----------------------------------------------------------------------------------
for root in "$win_root" "$linux_root"; do
  check "$root: the media guide" cmp -s "$top/docs/media-guide.md" "$root/docs/media-guide.md"
  check "$root: the project's licence" cmp -s "$top/LICENSE" "$root/LICENSE.txt"
  for notice in mingw-w64 gcc-runtime stb xxhash; do
    check "$root: NOTICES/$notice.txt" test -s "$root/NOTICES/$notice.txt"
  done
  check "$root: the GCC Runtime Library Exception" \
    grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$root/NOTICES/gcc-runtime.txt"
  check "$root: the winpthreads notice" \
    grep -q 'winpthreads' "$root/NOTICES/mingw-w64.txt"
done
check "the same notices in both packages" diff -r "$win_root/NOTICES" "$linux_root/NOTICES"
check "update.exe at the top of the zip" test -f "$win_root/update.exe"
check "the demo media's settings archive" test -s "$win_root/demo-media/update.arc"
check "the demo media carries its launcher" cmp -s "$win_root/update.exe" "$win_root/demo-media/update.exe"
for t in "${tools[@]}"; do
  check "tools/vorlin-$t.exe in the zip" test -f "$win_root/tools/vorlin-$t.exe"
  # Archives near 2 GiB and the files beside them: the 32-bit tools take 4 GiB on 64-bit Windows.
  check "tools/vorlin-$t.exe is large-address-aware" \
    grep -q "large address aware" <(i686-w64-mingw32-objdump -p "$win_root/tools/vorlin-$t.exe")
  check "bin/vorlin-$t in the tarball, executable" test -x "$linux_root/bin/vorlin-$t"
done
# The oldest glibc the native tools need, read again from their versioned symbols.
glibc=$(objdump -T "$linux_root"/bin/* | grep -oE 'GLIBC_[0-9.]+' | sed 's/GLIBC_//' | sort -V | tail -n 1)
check "the tarball's README names glibc $glibc as the minimum" \
  grep -q "glibc $glibc or newer" "$linux_root/README.txt"

# --- Programs ----------------------------------------------------------------------------------
if [ -z "${WINEPREFIX:-}" ]; then
  "$top/scripts/wine-prefix" "$top/build" >/dev/null
  # shellcheck source=../../scripts/wine-session.sh
  . "$top/scripts/wine-session.sh"
  begin_wine_session private
  own_session=1
fi

version_pattern='[0-9]+\.[0-9]+\.[0-9]+\+(g[0-9a-f]{12}(-dirty)?|unknown)'
# run_tool KIND PROGRAM NAME: --version and --help of one packaged tool; sets tool_version to the
# version text it printed ("" when it printed none in the right form).
run_tool() {
  local kind=$1 program=$2 name=$3 text status
  local runner=()
  [ "$kind" = windows ] && runner=("$VORLIN_WINE")
  tool_version=
  text=$("${runner[@]}" "$program" --version 2>"$work/stderr" </dev/null | tr -d '\r')
  status=$?
  if [ "$status" = 0 ] && [[ "$text" =~ ^$name\ ($version_pattern)$ ]]; then
    pass
    tool_version=${BASH_REMATCH[1]}
  else
    fail "$kind $name --version: status $status, \"$text\" $(head -c 300 "$work/stderr")"
  fi
  text=$("${runner[@]}" "$program" --help 2>&1 </dev/null | tr -d '\r')
  status=$?
  if [ "$status" = 0 ] && [[ "$text" == *"$name"* ]]; then pass; else
    fail "$kind $name --help: status $status, \"$(head -c 300 <<< "$text")\""
  fi
}

runnable=$win_root
if [ "$VORLIN_ROAD" = win64 ]; then
  echo "release package test: this machine runs no 32-bit program, so the packaged update.exe and"
  echo "  Windows tools are checked without running them (headers, manifest, VERSIONINFO); the same"
  echo "  commit's 64-bit launcher and tools from $tested_build run instead."
  runnable=
fi
declare -A versions
for t in "${tools[@]}"; do
  if [ -n "$runnable" ]; then
    run_tool windows "$win_root/tools/vorlin-$t.exe" "vorlin-$t"
  else
    run_tool windows "$tested_build/tools/$t/vorlin-$t.exe" "vorlin-$t"
  fi
  versions[windows-$t]=$tool_version
  run_tool native "$linux_root/bin/vorlin-$t" "vorlin-$t"
  versions[native-$t]=$tool_version
done

# One version for each build; its numbers from VERSION, its commit a real one whose count of
# commits is the fourth number of VERSIONINFO.
win_version=${versions[windows-${tools[0]}]}
native_version=${versions[native-${tools[0]}]}
for t in "${tools[@]}"; do
  check "vorlin-$t.exe prints the same version as vorlin-${tools[0]}.exe" \
    test "${versions[windows-$t]}" = "$win_version"
  check "vorlin-$t prints the same version as vorlin-${tools[0]}" \
    test "${versions[native-$t]}" = "$native_version"
done
check "the Windows programs' version $win_version is VERSION $number" \
  test "${win_version%%+*}" = "$number"
check "the native tools' version $native_version is VERSION $number" \
  test "${native_version%%+*}" = "$number"
check "BUILDINFO names both versions" \
  grep -qx "Version: $win_version (Windows programs), $native_version (Linux tools)" "$out/BUILDINFO"
count=0
if [[ "$win_version" =~ \+g([0-9a-f]{12}) ]]; then
  commit=${BASH_REMATCH[1]}
  if git -C "$top" rev-parse -q --verify "$commit^{commit}" >/dev/null 2>&1; then
    pass
    count=$(git -C "$top" rev-list --count "$commit")
  else
    fail "the version's commit $commit is not a commit of this repository"
  fi
fi

programs="$win_root/update.exe"
for t in "${tools[@]}"; do programs+=";$win_root/tools/vorlin-$t.exe"; done
launcher=$win_root/update.exe
[ -n "$runnable" ] || launcher=$tested_build/app/update.exe
# The demo game counts as installed (its installation records these values), as for ./run.
key='HKCU\Software\VorlinDemo\HoshiFuru'
wine reg add "$key" /v IsInst /t REG_SZ /d 1 /f >/dev/null 2>&1
wine reg add "$key" /v InstTo /t REG_SZ /d 'C:\Games\HoshiFuru' /f >/dev/null 2>&1
mkdir -p "$WINEPREFIX/drive_c/Games/HoshiFuru"
if VORLIN_PACKAGED_LAUNCHER=$launcher VORLIN_PACKAGED_MEDIA=$win_root/demo-media \
   VORLIN_PACKAGED_PROGRAMS=$programs VORLIN_EXPECTED_VERSION=$win_version \
   VORLIN_EXPECTED_FILE_VERSION=$number.$count \
   wine "$tested_build/tests/release/release_package_tests.exe" > "$work/windows.log" 2>&1 </dev/null; then
  pass
else
  tr -d '\r' < "$work/windows.log" | iconv -c -f CP932 -t UTF-8
  fail "the packaged launcher's menu and the programs' VERSIONINFO (release_package_tests.exe)"
fi

summary
