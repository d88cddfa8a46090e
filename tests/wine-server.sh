#!/bin/sh
# The Wine that a cross-built test run uses: one prefix (WINEPREFIX, under the build
# folder) and one server for the whole run, so that the tests neither start a server
# each nor race one that is shutting down.
#   wine-server.sh start   makes or updates the prefix and starts the server
#   wine-server.sh stop    ends the server and every Wine process of the prefix
# The server and the processes that wineboot starts keep the standard streams they
# were given for as long as they run, so those are a log in the prefix, never the
# caller's pipes. A server left by a run that was cut off before its stop is ended
# first; one whose stop never comes ends itself ten minutes after its last program.
set -eu
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
loader=${WINELOADER:-/usr/lib/wine/wine64}
log=$WINEPREFIX/test-run.log

case ${1-} in
start)
  mkdir -p "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  : >"$log"
  wineserver -p600 </dev/null >>"$log" 2>&1
  if ! "$loader" wineboot -i </dev/null >>"$log" 2>&1; then
    cat "$log" >&2
    exit 1
  fi
  ;;
stop)
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  ;;
*)
  echo "usage: wine-server.sh start|stop" >&2
  exit 2
  ;;
esac
