#!/usr/bin/env bash
# Builds both targets and runs every test: the unit tests natively, with
# AddressSanitizer and UndefinedBehaviorSanitizer, and under Wine; then the
# system tests of both programs on Xvfb.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

step() { printf '\n== %s\n' "$*"; }
failed=()

for preset in linux linux-asan windows; do
  step "build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    failed+=("build $preset")
  fi
done

for preset in linux linux-asan windows system; do
  step "test $preset"
  ctest --preset "$preset" || failed+=("test $preset")
done

echo
if [ ${#failed[@]} -eq 0 ]; then
  echo "All builds and tests passed."
  exit 0
fi
echo "Failed: ${failed[*]}"
exit 1
