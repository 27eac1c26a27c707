#!/usr/bin/env bash
# What the full-screen show costs while it runs, measured on the built
# programs (this script builds nothing):
#
#   bench/show-load.sh [SECONDS]        (default 60)
#
# On a private Xvfb (1024 x 768 x 24, -noreset) it runs the Linux program,
# then the Windows .scr under Wine, each for SECONDS from its start, and
# reports for each:
#   - the processor time of the program and of the X server, as a share of
#     one core: the program's over the whole run (start-up included) and
#     from its first picture on; the X server's from the first picture on,
#     as until then the watch below reads the whole screen every 2 ms;
#     under Wine also the wineserver's, and that of Wine's own processes
#     (services.exe, explorer.exe, ...) together, from the first picture on;
#   - the time from the exec to the first fade step on the screen (the first
#     pixel that is no longer black), and to the mapping of the window,
#     taken by tests/system/first_frame.cpp (velmora-first-frame), which
#     starts the program itself; under Wine both include Wine's own start;
#   - the program's peak resident memory (VmHWM just before it is ended).
# Processor times come from /proc/<pid>/stat (utime + stime, all threads).
# Each run ends with SIGTERM: the Linux program ends with exit code 0, which
# is checked; Wine ends a Windows program on it at once. Under Wine one
# unmeasured run comes first, which brings Wine's services up, as they are
# on a desktop that starts screensavers.
#
# Targets, for the Linux program only: under 5 % of a core, the first fade
# step within 150 ms, peak resident memory under 48 MB. The exit code is 1
# when one of them is missed, 2 when something could not be measured.
#
# The builds are taken from build/linux and build/windows, or from
# VELMORA_LINUX_BUILD and VELMORA_WINDOWS_BUILD; a missing Windows build is
# skipped. The Wine prefix is <windows build>/wineprefix-bench, made on the
# first run (about 15 s) and kept for the next. The figures are only as
# quiet as the machine: the load average before each run is reported too.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
linux_build=${VELMORA_LINUX_BUILD:-build/linux}
windows_build=${VELMORA_WINDOWS_BUILD:-build/windows}
clock_ticks=$(getconf CLK_TCK)

for needed in "$linux_build/velmorascr" "$linux_build/tests/velmora-first-frame"; do
  if [ ! -x "$needed" ]; then
    echo "show-load: $needed is missing: build the linux preset first" >&2
    exit 2
  fi
done
first_frame=$(realpath "$linux_build/tests/velmora-first-frame")

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-show-load-XXXXXX")
xvfb_pid=
wine_prefix=
# shellcheck disable=SC2317  # run by the trap
cleanup() {
  if [ -n "$wine_prefix" ]; then tests/wine-prefix.sh stop "$wine_prefix" || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "show-load: failed at line $LINENO" >&2; exit 2' ERR

now() { echo "$EPOCHREALTIME"; }

# utime + stime of a process in clock ticks; 0 once it has gone.
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
  # The command name may hold blanks: the fields that follow it count from
  # its closing parenthesis, utime and stime being the 12th and 13th.
  read -r -a fields <<<"${stat##*) }"
  echo $((fields[11] + fields[12]))
}

# The share of one core: ticks over seconds, in per cent.
share() { awk -v t="$1" -v s="$2" -v hz="$clock_ticks" 'BEGIN { printf "%.2f", (s > 0 ? 100 * t / hz / s : 0) }'; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
report_value() { if [ -f "$1" ]; then sed -n "s/^$2 //p" "$1" | tail -n 1; fi; }

start_xvfb() {
  local display_file=$work/display
  : >"$display_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || { echo "show-load: Xvfb did not start" >&2; exit 2; }
  DISPLAY=":$(head -n 1 "$display_file")"
  export DISPLAY
}

# check VALUE LIMIT: sets `verdict` to ok or MISSED, and notes a miss.
missed=0
check() {
  if awk -v v="$1" -v l="$2" 'BEGIN { exit !(v != "none" && v != "" && v + 0 < l + 0) }'; then
    verdict=ok
  else
    verdict=MISSED
    missed=1
  fi
}

in_wine_prefix() { tr '\0' '\n' 2>/dev/null <"/proc/$1/environ" | grep -qxF "WINEPREFIX=$wine_prefix"; }

# Wine's own processes of the prefix (services.exe, explorer.exe, ...): not
# the program, not the wineserver, and not this script or the watch, which
# have the prefix in their environment too.
wine_helpers() {
  local program=$1 pid name
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    [ "$pid" = "$program" ] && continue
    name=$(tr '\0' '\n' 2>/dev/null <"$dir/cmdline" | head -n 1) || continue
    case "${name,,}" in
      *.exe) in_wine_prefix "$pid" && echo "$pid" ;;
    esac
  done
}

# start_watch DIR REPORT COMMAND...: starts COMMAND in DIR under the watch
# for its first picture; sets watch_pid and pid (COMMAND's process).
start_watch() {
  local dir=$1 report=$2
  shift 2
  (cd "$dir" && exec "$first_frame" "$report" "$@") >"$dir/output" 2>&1 &
  watch_pid=$!
  pid=
  for _ in $(seq 200); do
    pid=$(report_value "$report" pid)
    [ -n "$pid" ] && break
    sleep 0.05
  done
  [ -n "$pid" ] || { echo "show-load: $* did not start" >&2; cat "$dir/output" >&2; exit 2; }
  # The watch ends its report with the first picture.
  for _ in $(seq 700); do
    [ -n "$(report_value "$report" first-frame-ms)" ] && break
    sleep 0.05
  done
}

# run_show NAME COMMAND...: one run of SECONDS; sets the figures below.
run_show() {
  local name=$1
  shift
  local dir=$work/$name
  mkdir -p "$dir"
  local report=$dir/report
  local load
  load=$(cut -d ' ' -f 1-3 /proc/loadavg)

  local x_before t_start
  x_before=$(cpu_ticks "$xvfb_pid")
  t_start=$(now)
  start_watch "$dir" "$report" "$@"
  local t_frame p_frame x_frame server_frame=0
  t_frame=$(now)
  p_frame=$(cpu_ticks "$pid")
  x_frame=$(cpu_ticks "$xvfb_pid")
  declare -A helper_frame=()
  if [ -n "${server_pid:-}" ]; then
    server_frame=$(cpu_ticks "$server_pid")
    for helper in $(wine_helpers "$pid"); do helper_frame[$helper]=$(cpu_ticks "$helper"); done
  fi

  local rest
  rest=$(awk -v s="$seconds" -v a="$t_start" -v b="$(now)" 'BEGIN { r = s - (b - a); printf "%.3f", (r > 0 ? r : 0) }')
  sleep "$rest"

  local t_end p_end x_end hwm helpers_ticks=0 server_end=0
  t_end=$(now)
  p_end=$(cpu_ticks "$pid")
  x_end=$(cpu_ticks "$xvfb_pid")
  hwm=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status" 2>/dev/null || echo "none")
  if [ -n "${server_pid:-}" ]; then
    server_end=$(cpu_ticks "$server_pid")
    # Each from the first picture on; one started since, from its start.
    for helper in $(wine_helpers "$pid"); do
      helpers_ticks=$((helpers_ticks + $(cpu_ticks "$helper") - ${helper_frame[$helper]:-0}))
    done
  fi

  kill -TERM "$pid" 2>/dev/null || true
  local code=0
  wait "$watch_pid" || code=$?

  local run steady
  run=$(elapsed "$t_start" "$t_end")
  steady=$(elapsed "$t_frame" "$t_end")
  first_ms=$(report_value "$report" first-frame-ms)
  window_ms=$(report_value "$report" window-ms)
  program_share=$(share "$p_end" "$run")
  program_steady_share=$(share $((p_end - p_frame)) "$steady")
  x_share=$(share $((x_end - x_frame)) "$steady")
  server_share=$(share $((server_end - server_frame)) "$steady")
  helpers_share=$(share "$helpers_ticks" "$steady")
  peak_mb=$hwm
  exit_code=$code
  load_before=$load
  x_whole_share=$(share $((x_end - x_before)) "$run")
}

start_xvfb
echo "Velmora Slides: the show's load, $seconds s a run, Xvfb 1024x768x24 on $DISPLAY, $(nproc) cores"

# --- Linux -------------------------------------------------------------------
linux_dir=$work/linux
mkdir -p "$linux_dir/tmp"
cp "$linux_build/velmorascr" "$linux_dir/"
server_pid=
TMP=$linux_dir/tmp run_show linux "$linux_dir/velmorascr"
echo
echo "Linux: $linux_build/velmorascr (load average before: $load_before)"
check "$program_share" 5
printf '  program CPU, whole run      %6s %% of a core   target < 5 %%: %s\n' "$program_share" "$verdict"
printf '  program CPU, after start    %6s %% of a core\n' "$program_steady_share"
printf '  X server CPU, after start   %6s %% of a core   (whole run, with the watch: %s %%)\n' "$x_share" "$x_whole_share"
check "$first_ms" 150
printf '  first fade step on screen   %6s ms after the exec   target < 150 ms: %s\n' "$first_ms" "$verdict"
printf '  window mapped               %6s ms after the exec\n' "$window_ms"
check "$peak_mb" 48
printf '  peak resident memory        %6s MB   target < 48 MB: %s\n' "$peak_mb" "$verdict"
printf '  exit code on SIGTERM        %6s\n' "$exit_code"
[ "$exit_code" = 0 ] || missed=1

# --- Windows under Wine ----------------------------------------------------------
if [ -f "$windows_build/velmorascr.scr" ]; then
  wine_prefix=$(cd "$windows_build" && pwd)/wineprefix-bench
  export WINEPREFIX=$wine_prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
  tests/wine-prefix.sh start "$wine_prefix"
  server_pid=
  for dir in /proc/[0-9]*; do
    # wineserver, or wineserver32 / wineserver64 on some distributions
    case "$(cat "$dir/comm" 2>/dev/null)" in
      wineserver*) if in_wine_prefix "${dir#/proc/}"; then server_pid=${dir#/proc/}; fi ;;
    esac
  done
  [ -n "$server_pid" ] || { echo "show-load: the prefix's wineserver is not running" >&2; exit 2; }
  windows_dir=$work/windows
  mkdir -p "$windows_dir/warm-up"
  cp "$windows_build/velmorascr.scr" "$windows_dir/"
  cp "$windows_build/velmorascr.scr" "$windows_dir/warm-up/"
  start_watch "$windows_dir/warm-up" "$windows_dir/warm-up/report" wine "$windows_dir/warm-up/velmorascr.scr"
  kill -TERM "$pid" 2>/dev/null || true
  wait "$watch_pid" || true
  run_show windows wine "$windows_dir/velmorascr.scr"
  echo
  echo "Windows under Wine: $windows_build/velmorascr.scr (load average before: $load_before)"
  printf '  program CPU, whole run      %6s %% of a core\n' "$program_share"
  printf '  program CPU, after start    %6s %% of a core\n' "$program_steady_share"
  printf '  wineserver CPU, after start %6s %% of a core\n' "$server_share"
  printf "  Wine's other processes      %6s %% of a core   (after start)\n" "$helpers_share"
  printf '  X server CPU, after start   %6s %% of a core   (whole run, with the watch: %s %%)\n' "$x_share" "$x_whole_share"
  printf '  first fade step on screen   %6s ms after the exec\n' "$first_ms"
  printf '  window mapped               %6s ms after the exec\n' "$window_ms"
  printf '  peak resident memory        %6s MB\n' "$peak_mb"
else
  echo
  echo "Windows: no $windows_build/velmorascr.scr, skipped"
fi

exit "$missed"
