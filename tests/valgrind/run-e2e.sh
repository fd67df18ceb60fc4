#!/usr/bin/env bash
# The end-to-end suites of both widths with every run of the programs under
# valgrind memcheck (tests/valgrind/launcher.sh). Not part of CI: it takes
# long. Passes when every test passes and no log holds an error.
#
#   tests/valgrind/run-e2e.sh [build-dir] [ctest -R pattern]
# The build directory (default build-valgrind) is configured as
# RelWithDebInfo with the tests when it holds no build yet.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-valgrind}
pattern=${2:-'^(narrow|wide)\.'}
command -v valgrind >/dev/null || { echo "valgrind is not installed (apt-get install valgrind)"; exit 1; }
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
fi
cmake --build "$build" -j2 >/dev/null || exit 1
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# Some runs drop to the user nobody, whose logs must land here too.
chmod 1777 "$logs"
export WDIST_TEST_LAUNCHER="$root/tests/valgrind/launcher.sh" WDIST_TEST_TIMEOUT_SCALE=30 WDIST_VALGRIND_LOGS="$logs"
ctest --test-dir "$build" -R "$pattern" --output-on-failure -j"${WDIST_VALGRIND_JOBS:-2}" \
  --timeout 3600 | tail -n 40
status=${PIPESTATUS[0]}
runs=$(find "$logs" -name 'vg-*.log' | wc -l)
clean=$(grep -l 'ERROR SUMMARY: 0 errors' "$logs"/vg-*.log 2>/dev/null | wc -l)
echo "valgrind: $runs program runs, $clean with ERROR SUMMARY: 0 errors"
for log in $(grep -L 'ERROR SUMMARY: 0 errors' "$logs"/vg-*.log 2>/dev/null); do
  echo "== $log"
  cat "$log"
done
[ "$status" -eq 0 ] && [ "$runs" -eq "$clean" ]
