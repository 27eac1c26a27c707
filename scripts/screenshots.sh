#!/usr/bin/env bash
# Makes the README's pictures from the built Linux program, on a private Xvfb:
#   docs/screenshots/show.png        the show, about 3 s after its start
#   docs/screenshots/dark-clock.png  the dark-screen clock
#   docs/screenshots/config.png      the configuration screen (/c), its 384 x 240 window
# Each run uses a fresh copy of the program in a temporary folder, so its
# settings file and codec file stay there. Needs Xvfb, xwd, xwininfo and
# ImageMagick (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/docs/screenshots

cmake --preset linux >/dev/null
cmake --build --preset linux --target velmorascr >/dev/null
mkdir -p "$out"

work=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3< <(exec Xvfb -displayfd 1 -screen 0 1024x768x24 -noreset -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display_number <&3
export DISPLAY=":$display_number"

# start NAME [ARGUMENT...]: a fresh copy of the program in $work/NAME, started
# there; its settings file is whatever $work/NAME/velmorascr.ini holds.
start() {
  local dir=$work/$1
  shift
  mkdir -p "$dir/tmp"
  cp "$root/build/linux/velmorascr" "$dir/"
  (cd "$dir" && TMP="$dir/tmp" exec ./velmorascr "$@") >"$dir/output.log" 2>&1 &
  program_pid=$!
}

stop() {  # asks the program to end; the display is a private one, so a kill does no harm
  kill -TERM "$program_pid" 2>/dev/null || true
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -KILL "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=
}

shoot() {  # shoot FILE [CROP]
  xwd -root -silent | convert xwd:- ${2:+-crop "$2" +repage} "png:$1"
}

# The mean brightness of the screen, 0 to 1.
brightness() { xwd -root -silent | convert xwd:- -colorspace Gray -format '%[fx:mean]' info:; }

# waitFor SECONDS CONDITION...: polls CONDITION every 0.2 s.
waitFor() {
  local tries=$(( $1 * 5 ))
  shift
  until "$@"; do
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then
      echo "gave up waiting for: $*" >&2
      return 1
    fi
    sleep 0.2
  done
}

# The show with the default settings.
start show /s
sleep 3
shoot "$out/show.png"
stop

# The dark clock: 5-second phases of slides (videomax 0..12) and 5-second dark
# intervals (darkmax 13..24, the shortest that is not "never"); the screen
# goes dark at the first slide change after 5 s.
mkdir -p "$work/dark"
printf '[Velmora Slides Screensaver version 2016.june.09 ini file]\r\nvideomax= 0\r\ndarkmax= 13\r\ndotmode= 0\r\n' \
  >"$work/dark/velmorascr.ini"
start dark /s
isDark() { awk -v m="$(brightness)" 'BEGIN { exit !(m < 0.01) }'; }
isLit() { ! isDark; }
waitFor 10 isLit   # the first slide (the screen starts black)
waitFor 15 isDark  # then the dark interval
sleep 1.5  # let the clock bob down a little
shoot "$out/dark-clock.png"
stop

# The configuration screen: a frameless 384 x 240 window in the middle.
start config /c
hasWindow() { xwininfo -root -children | grep -q ' 384x240+'; }
waitFor 10 hasWindow
geometry=384x240$(xwininfo -root -children | grep ' 384x240+' | head -n 1 | awk '{ print $NF }')
# The thumbnail fades each slide in from black over 25 frames of 160 ms (4 s),
# then starts the next one from black: wait for such a start, then take the
# picture shortly before that slide's brightest frame.
windowMean() { xwd -root -silent | convert xwd:- -crop "$geometry" -colorspace Gray -format '%[fx:mean]' info:; }
last=$(windowMean)
nextSlideStarted() {
  local now
  now=$(windowMean)
  awk -v a="$last" -v b="$now" 'BEGIN { exit !(b < a - 0.01) }' && return 0
  last=$now
  return 1
}
waitFor 10 nextSlideStarted
sleep 3.3
shoot "$out/config.png" "$geometry"
stop

for f in show dark-clock config; do
  printf '%s: %s\n' "docs/screenshots/$f.png" "$(identify -format '%w x %h' "$out/$f.png")"
done
