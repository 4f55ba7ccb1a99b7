# Sourced by ./test and ./run: one private X display (unless DISPLAY is set and kept), one
# persistent wineserver for the whole session, and the clean-up that ends both. The Wine is the
# machine's road's (scripts/windows-road.sh): wine and wineserver below are its functions.
# shellcheck source=display.sh
. "$(dirname "${BASH_SOURCE[0]}")/display.sh"
# shellcheck source=windows-road.sh
. "$(dirname "${BASH_SOURCE[0]}")/windows-road.sh"
use_windows_road "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"

begin_wine_session() {  # $1: "private" to always use a private display
  if [ "${1:-}" = private ] || [ -z "${DISPLAY:-}" ]; then
    unset DISPLAY
    start_private_display
  fi
  export WINEPREFIX=$VORLIN_WINEPREFIX WINEDEBUG=-all LC_ALL=ja_JP.UTF-8
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # A server an earlier run left behind (on another display, perhaps) would make the persistent
  # one fail to start: end it and its processes first.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p
  # Start the prefix's system processes now, away from any pipe: a test runner waiting for the end
  # of a program's output would otherwise also wait for them.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

end_wine_session() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  stop_private_display
}
