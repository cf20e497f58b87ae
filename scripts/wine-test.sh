#!/usr/bin/env bash
# Runs a command (ctest over the Windows build) with wine ready for it:
#   scripts/wine-test.sh ctest --preset windows
# Wine gets a prefix of its own in the cache, no display and no debug chatter.
# The prefix is created once, before any test, because wine creating it on the
# fly during test discovery takes longer than the discovery may.
set -euo pipefail

cache=${QUORVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane}
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

log() { printf '[wine] %s\n' "$*" >&2; }

# The 64-bit loader directly: the wrapper in /usr/bin prefers a 32-bit wine.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
[ -n "$wine" ] || { log "wine is not installed: run scripts/deps.sh windows"; exit 1; }
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# One run at a time per prefix: a run ends by stopping every wine process of
# the prefix, which would cut another run's tests short. Nothing started here
# inherits the lock (9>&-), so a server outliving a killed run cannot keep it.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9

if [ ! -f "$WINEPREFIX/.quorvane-ready" ]; then
  log "creating the wine prefix $WINEPREFIX"
  # Built aside and moved in whole, so an interrupted run leaves no half prefix.
  fresh=$WINEPREFIX.new
  rm -rf "$fresh" "$WINEPREFIX"
  # No .NET or web engine: nothing here needs them and they would be fetched.
  WINEPREFIX=$fresh WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&- ||
    { log "wineboot could not create the prefix"; exit 1; }
  WINEPREFIX=$fresh "$wineserver" -w 9>&-
  touch "$fresh/.quorvane-ready"
  mv "$fresh" "$WINEPREFIX"
fi

# A server left behind by an interrupted run would keep its old helpers.
"$wineserver" -k 2>/dev/null 9>&- || true
# One server for the whole run. Its first client starts helper processes that
# keep that client's standard output open; a throw-away first client with its
# output on /dev/null takes that role, so no test's output pipe is held open
# until the server exits.
"$wineserver" -p 9>&-
# Ended, the run ends every wine process of the prefix and waits until the
# server is gone, interrupted (by a signal) too.
trap '"$wineserver" -k 2>/dev/null 9>&- || true; "$wineserver" -w 2>/dev/null 9>&- || true' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true

"$@" 9>&-
