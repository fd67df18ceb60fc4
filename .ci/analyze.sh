#!/usr/bin/env bash
# Static analysis of src/: clang-tidy with the checked-in .clang-tidy over a
# compile database generated here (every source once per counter width), then
# cppcheck with .cppcheck-suppressions for each width. Any finding fails.
#
#   .ci/analyze.sh        build directory: build-danalyze, or $WDIST_ANALYZE_BUILD
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${WDIST_ANALYZE_BUILD:-$root/build-danalyze}
cd "$root"

scripts/install-deps.sh analyze

# Only the compile database is needed: configure, no build. With clang++ the
# recorded flags are the ones clang-tidy understands. WDIST_MPI puts the
# MPI driver (src/cli/cluster.cpp) in the database with MPI's flags.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DWDIST_BUILD_TESTS=OFF -DWDIST_BUILD_BENCH=OFF -DWDIST_MPI=ON >/dev/null

mapfile -t sources < <(find src -name '*.cpp' | sort)
echo "analyze: clang-tidy $(clang-tidy --version | grep -o 'version [0-9.]*') over ${#sources[@]} sources"
set +e
printf '%s\n' "${sources[@]}" |
  xargs -P 2 -n 1 clang-tidy -p "$build" --quiet --header-filter="^$root/src/" >"$build/clang-tidy.log" 2>&1
tidy_status=$?
set -e
# clang-tidy counts the warnings of system headers it did not show; only the
# findings themselves are of interest.
grep -v -E '^[0-9]+ (warning|error)s? (and [0-9]+ errors? )?generated\.$' "$build/clang-tidy.log" || true

echo "analyze: $(cppcheck --version)"
cppcheck_status=0
for bits in 16 32; do
  cppcheck --std=c++20 --enable=warning,style,performance,portability --inline-suppr \
    --suppressions-list="$root/.cppcheck-suppressions" --error-exitcode=1 --quiet -j 2 \
    -I src -DWDIST_COUNTER_BITS=$bits src || cppcheck_status=1
done

if [ $tidy_status -ne 0 ] || [ $cppcheck_status -ne 0 ]; then
  echo "analyze: findings above (clang-tidy status $tidy_status, cppcheck status $cppcheck_status)"
  exit 1
fi
echo "analyze: no findings"
