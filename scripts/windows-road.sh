# Sourced by the project's scripts: which Windows build this machine tests, and the Wine that runs
# it. There are two roads:
#   win32  the 32-bit build (the program players get) in build/win, under 32-bit Wine;
#   win64  on a machine whose kernel runs no 32-bit program, the 64-bit build of the same sources in
#          build/win64, under 64-bit Wine in a prefix of its own. The 32-bit programs are still
#          built there (build/win), so that a release can be made on any machine.
# scripts/setup decides once, by running a tiny 32-bit program, and records the road in
# BUILD/windows-road; VORLIN_WINDOWS_ROAD=win64 forces the 64-bit road on any machine.
#   decide_windows_road BUILD   decides, records and says which road and why (scripts/setup)
#   use_windows_road BUILD      exports the road's settings; defines wine and wineserver
# After use_windows_road: VORLIN_ROAD, VORLIN_WIN_BUILD (the tested Windows build tree),
# VORLIN_WINEPREFIX (the road's prefix in the build folder), VORLIN_WINE (the loader, for commands
# that take a program), WINEARCH and, on the
# 64-bit road, WINELOADER and WINESERVER. Debian's wine, wineboot and regedit wrappers always pick
# the 32-bit loader when 32-bit Wine is installed, so the 64-bit road names its loader.

# True when this machine runs a 32-bit x86 Linux program: a 93-byte static ELF that exits with 0.
runs_32bit_programs() {
  local probe status
  probe=$(mktemp)
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\061\333\270\001\000\000\000\315\200' > "$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  status=$?
  rm -f "$probe"
  return $status
}

decide_windows_road() {  # $1: the build folder
  local road why
  if [ "${VORLIN_WINDOWS_ROAD:-}" = win64 ]; then
    road=win64
    why="VORLIN_WINDOWS_ROAD=win64 is set"
  elif runs_32bit_programs; then
    road=win32
    why="this machine runs 32-bit programs"
  else
    road=win64
    why="this machine cannot run 32-bit programs (Exec format error); the 32-bit programs are still built"
  fi
  mkdir -p "$1"
  echo "$road" > "$1/windows-road"
  if [ "$road" = win32 ]; then
    echo "Windows tests: the 32-bit build (build/win) under 32-bit Wine, because $why."
  else
    echo "Windows tests: the 64-bit build (build/win64) under 64-bit Wine, because $why."
  fi
}

use_windows_road() {  # $1: the build folder
  local build=$1
  if [ -f "$build/windows-road" ]; then
    VORLIN_ROAD=$(cat "$build/windows-road")
  elif [ "${VORLIN_WINDOWS_ROAD:-}" = win64 ] || ! runs_32bit_programs; then
    VORLIN_ROAD=win64
  else
    VORLIN_ROAD=win32
  fi
  export VORLIN_ROAD
  if [ "$VORLIN_ROAD" = win64 ]; then
    export VORLIN_WIN_BUILD=$build/win64 WINEARCH=win64
    export VORLIN_WINEPREFIX=$build/wineprefix64
    export VORLIN_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
    wine() { /usr/lib/wine/wine64 "$@"; }
    wineserver() { /usr/lib/wine/wineserver64 "$@"; }
  else
    export VORLIN_WIN_BUILD=$build/win WINEARCH=win32
    export VORLIN_WINEPREFIX=$build/wineprefix
    export VORLIN_WINE=wine
    unset WINELOADER WINESERVER
    wine() { command wine "$@"; }
    wineserver() { command wineserver "$@"; }
  fi
  export -f wine wineserver
}
