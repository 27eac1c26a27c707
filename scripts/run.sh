#!/usr/bin/env bash
# Builds the Linux program and runs the show with the built-in slides.
# On a machine without a display it runs the show on a private Xvfb for
# about ten seconds and saves a screenshot under build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target velmorascr >/dev/null

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec build/linux/velmorascr "$@"
fi

# No display: a private one, a look at the show, and a picture of it.
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -noreset -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display_number <&3
export DISPLAY=":$display_number"
cleanup() { kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT

build/linux/velmorascr "$@" &
show_pid=$!
sleep 10
shot=build/screenshot-show.png
xwd -root -silent | convert xwd:- "$shot"
kill -TERM "$show_pid" 2>/dev/null || true
wait "$show_pid" || true
echo "No display here: the show ran on a private Xvfb for 10 s. Screenshot: $shot"
