#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ as libFuzzer programs (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for SECONDS.
#
#   ./scripts/fuzz.sh [SECONDS [TARGET...]]
#
# SECONDS defaults to 60; TARGETs (fuzz_bmp_reader, ...) default to every
# fuzz/fuzz_*.cpp. Each target works on its own corpus, build-fuzz/corpus/<target>,
# which starts as a copy of fuzz/seeds/<target> and keeps what the fuzzer finds
# between runs. Inputs that crash, leak, run out of memory or time out are
# written to build-fuzz/crashes/<target>/ and the run's output to
# build-fuzz/logs/<target>.log. The exit status is 1 when a target found one.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "Usage: scripts/fuzz.sh [SECONDS [TARGET...]]" >&2
  exit 2
fi
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
for target in "${targets[@]}"; do
  if [ ! -f "fuzz/$target.cpp" ]; then
    echo "fuzz.sh: no fuzz/$target.cpp" >&2
    exit 2
  fi
done

# clang with its sanitizer and libFuzzer runtimes, besides what the build needs.
./scripts/deps.sh clang libclang-rt-14-dev

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DLUMETRA_FUZZ=ON -DLUMETRA_TESTS=OFF -DLUMETRA_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1"
found=()
for target in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$target"
  crashes="build-fuzz/crashes/$target"
  log="build-fuzz/logs/$target.log"
  mkdir -p "$corpus" "$crashes" "$(dirname "$log")"
  # Seeds that are already in the corpus are left as they are.
  if [ -d "fuzz/seeds/$target" ]; then cp -n "fuzz/seeds/$target"/* "$corpus"/ 2>/dev/null || true; fi
  before=$(ls "$crashes" | sort)
  echo "== $target: ${seconds} s"
  status=0
  # -close_fd_mask=2 keeps the readers' own messages on damaged files out of
  # the log; libFuzzer and the sanitizers still report there.
  "build-fuzz/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$crashes/" -print_final_stats=1 -close_fd_mask=2 "$corpus" >"$log" 2>&1 || status=$?
  new=$(comm -13 <(echo "$before") <(ls "$crashes" | sort) | sed '/^$/d')
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(slowest_unit_time_sec|peak_rss_mb)' "$log" | sort -u | sed 's/^/   /' || true
  if [ "$status" -ne 0 ] || [ -n "$new" ]; then
    found+=("$target")
    echo "   FOUND (exit status $status); log: $log"
    for f in $new; do echo "   $crashes/$f ($(stat -c %s "$crashes/$f") bytes)"; done
    # The sanitizer's or libFuzzer's report, up to the line that ends it.
    sed -En '/^==[0-9]+== ?ERROR|: runtime error: /,/^SUMMARY: /p' "$log" | head -60 | sed 's/^/   /'
  fi
done

if [ ${#found[@]} -gt 0 ]; then
  echo "Fuzzing found problems in: ${found[*]}"
  echo "Replay one with: build-fuzz/fuzz/<target> <crash file>"
  exit 1
fi
echo "No crash, leak, timeout or out-of-memory input found."
