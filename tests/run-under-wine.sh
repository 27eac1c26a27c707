#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest and returns its exit code.
# Wine's helper services inherit the standard handles and outlive the
# program; were those the test runner's pipes, it would wait for ever. So the
# program's output goes to a file, which is then shown.
set -u
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=d}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
wine "$@" >"$log" 2>&1 </dev/null
status=$?
cat "$log"
exit "$status"
