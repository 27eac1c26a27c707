#!/usr/bin/env bash
# Prepares the Wine prefix the Windows tests run in and keeps one wineserver
# alive for the run:  wine-prefix.sh start|stop PREFIX
#  - a new prefix is made once (wineboot, about 15 s);
#  - the X11 driver runs unmanaged (no window manager: hiding a window would
#    otherwise wait about 2 s);
#  - Wine's output goes to files: its services keep inherited pipes open.
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
log="$WINEPREFIX.log"
case "$action" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot -i >"$log" 2>&1 </dev/null
      wineserver -w
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1 </dev/null
      wineserver -w
    fi
    wineserver -p >>"$log" 2>&1 </dev/null
    ;;
  stop)
    wineserver -k >>"$log" 2>&1 </dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
