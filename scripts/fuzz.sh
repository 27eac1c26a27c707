#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each one on its seed corpus for
# SECONDS (default 600), one target at a time on one core.
#
#   scripts/fuzz.sh [SECONDS]
#
# A target's seeds are tests/fuzz/corpus/<name>/; the inputs it finds that
# reach new code are kept in build/fuzz/work/<name>/ and used again by the
# next run. The run fails on any crash, leak, timeout, sanitizer report or
# broken check; the input that caused it is saved under
# build/fuzz/artifacts/<name>/ and can be replayed with
#   build/fuzz/fuzz/velmora-fuzz-<name> build/fuzz/artifacts/<name>/<file>
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
case $seconds in
  '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;;
esac

scripts/setup.sh || exit 1
mkdir -p build
if ! { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >build/fuzz-build.log 2>&1; }; then
  cat build/fuzz-build.log >&2
  echo "the fuzz targets did not build" >&2
  exit 1
fi

failed=()
for corpus in tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  fuzzer=build/fuzz/fuzz/velmora-fuzz-$name
  work=build/fuzz/work/$name
  artifacts=build/fuzz/artifacts/$name
  log=build/fuzz/logs/$name.log
  mkdir -p "$work" "$artifacts" build/fuzz/logs
  if [ ! -x "$fuzzer" ]; then
    echo "$name: no fuzz target $fuzzer"
    failed+=("$name")
    continue
  fi
  # Leaks are reported at the end of each input; a sanitizer report or a
  # failed check aborts at once.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  if [ $rc -ne 0 ] || grep -qE '^==[0-9]+==ERROR|runtime error:|FUZZ CHECK FAILED|^SUMMARY: ' "$log"; then
    printf '%-14s FAILED after %s executions (exit %d); log: %s\n' "$name" "${runs:-?}" "$rc" "$log"
    grep -E -A 30 '^==[0-9]+==ERROR|runtime error:|FUZZ CHECK FAILED|ERROR: libFuzzer' "$log" | head -n 60
    failed+=("$name")
  else
    printf '%-14s %12s executions in %s s\n' "$name" "${runs:-?}" "$seconds"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzzing failed: ${failed[*]}"
  exit 1
fi
echo "Fuzzing found nothing."
