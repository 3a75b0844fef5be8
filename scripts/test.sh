#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#
#   ./scripts/test.sh              build/ as scripts/build.sh makes it
#   ./scripts/test.sh --sanitize   build-sanitize/: g++ with AddressSanitizer and
#                                  UndefinedBehaviorSanitizer (benchmarks off); any
#                                  memory error, undefined behaviour or leak fails
#                                  the test that caused it, with its stack
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    -h | --help)
      sed -n '2,8s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    *)
      echo "test.sh: unknown option '$arg' (try --help)" >&2
      exit 2
      ;;
  esac
done
./scripts/deps.sh

if [ "$sanitize" -eq 0 ]; then
  ./scripts/build.sh
  cd build
  ctest --output-on-failure -j"$(nproc)"
  exit 0
fi

# The first report ends the program with its stack, leaks included. Leaks that
# belong to the system's libraries (display, fonts, drivers), should one ever
# show, go into scripts/lsan.supp; none do now. The options are set for the
# build too, since the build lists each test program's tests by running it.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
if [ -f scripts/lsan.supp ]; then export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"; fi
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ -DLUMETRA_SANITIZE=ON \
  -DLUMETRA_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$(nproc)"
cd build-sanitize
ctest --output-on-failure -j"$(nproc)"
