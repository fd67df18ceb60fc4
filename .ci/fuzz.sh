#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/CMakeLists.txt, clang, ASan + UBSan),
# replays every committed regression input, then fuzzes each target for a
# bounded short time from its committed seed corpus. Any crash, hang (an exec
# above 10 s), sanitizer report or leak the harness detects fails the run.
#
#   .ci/fuzz.sh                      60 s per target
#   WDIST_FUZZ_SECONDS=600 .ci/fuzz.sh
# Build directory: build-fuzz, or $WDIST_FUZZ_BUILD. Findings are written to
# <build>/artifacts/; replay one with <build>/fuzz_<target>_<width> <file>.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${WDIST_FUZZ_BUILD:-$root/build-fuzz}
seconds=${WDIST_FUZZ_SECONDS:-60}
cd "$root"

# clang and libFuzzer's runtime.
scripts/install-deps.sh fuzz

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DWDIST_SOURCE_ROOT="$root" >/dev/null
cmake --build "$build" -j2

# The program's scratch files live on tmpfs when there is one; the harness
# makes a directory per process below this one.
scratch=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/wdist-fuzz.XXXXXX")
work=$(mktemp -d "${TMPDIR:-/tmp}/wdist-fuzz-corpus.XXXXXX")
trap 'rm -rf "$scratch" "$work"' EXIT
artifacts="$build/artifacts"
mkdir -p "$artifacts"
export WDIST_FUZZ_SCRATCH="$scratch"

failed=0
passed=0
# The program's own console output is dropped by the harness; the fuzzer's log
# goes through a pipe, never into a file the harness's RLIMIT_FSIZE bounds.
run_logged() { # name, command...
  local name=$1 log="$build/$1.log" status
  shift
  set +e
  "$@" 2>&1 | cat >"$log"
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $name FAILED (status $status); the end of $log:"
    tail -n 60 "$log"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  return 0
}

for target in input menu; do
  for width in narrow wide; do
    bin="$build/fuzz_${target}_${width}"
    mapfile -t regressions < <(find "fuzz/regressions/$target" -type f ! -name '.*' 2>/dev/null | sort)
    if [ ${#regressions[@]} -gt 0 ]; then
      echo "fuzz: ${target}_${width}: replaying ${#regressions[@]} regression inputs"
      run_logged "replay_${target}_${width}" "$bin" -timeout=10 -rss_limit_mb=2048 "${regressions[@]}"
    fi
  done
done

for target in input menu; do
  for width in narrow wide; do
    name="${target}_${width}"
    max_len=4096
    [ "$target" = menu ] && max_len=2048  # longer scripts only repeat choices
    echo "fuzz: $name for ${seconds} s"
    mkdir -p "$work/$name"
    run_logged "fuzz_$name" "$build/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len="$max_len" -dict="fuzz/$target.dict" -artifact_prefix="$artifacts/${name}-" -print_final_stats=1 \
      "$work/$name" "fuzz/corpus/$target"
    grep -h -E '^stat::number_of_executed_units|^wdist-fuzz:' "$build/fuzz_$name.log" | sed "s/^/fuzz: $name: /" || true
  done
done

# The library's path: the same seed inputs as the menu programs' input files,
# shorter (the MacWilliams sums of a long code through its dual grow as n^2).
echo "fuzz: records for ${seconds} s"
mkdir -p "$work/records"
run_logged "fuzz_records" "$build/fuzz_records" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=1024 -dict="fuzz/input.dict" -artifact_prefix="$artifacts/records-" -print_final_stats=1 \
  "$work/records" "fuzz/corpus/input"
grep -h -E '^stat::number_of_executed_units' "$build/fuzz_records.log" | sed "s/^/fuzz: records: /" || true

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
