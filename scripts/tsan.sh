#!/bin/sh
# Builds the engine and its tests with ThreadSanitizer in build-tsan and runs
# the tests that exercise threads: go/stop loops, ponderhit races, commands
# during a search, thread-count changes, quit during a search, book and
# forced-line answers held by "infinite" and "ponder", and the engine
# binary driven through pipes (its own reports are checked there), under
# UCI and under xboard with its command-queue worker.
# Exits non-zero when a test fails or ThreadSanitizer reports anything.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-tsan"
jobs=${JOBS:-6}

cmake -S "$root" -B "$build" -DBRAKKEN_TSAN=ON -DBRAKKEN_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$jobs" --target brakken brakken_tests

filter='SearchThreads*:UciSession*:BookSession*:EngineOutputTest.*:Threads/SelfPlayTest.AShort*:UciProtocolTest.*:GoTest.*:CommandQueueThreads.*:XboardSession*:XboardThreads.*'
log="$build/tsan-report.txt"

# Reports go to the log; exitcode makes a reporting process fail.
TSAN_OPTIONS="halt_on_error=0 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  "$build/brakken_tests" --gtest_filter="$filter" 2>"$log" || status=$?
status=${status:-0}

if grep -q "WARNING: ThreadSanitizer" "$log"; then
  grep -A30 "WARNING: ThreadSanitizer" "$log" | head -200
  echo "tsan.sh: ThreadSanitizer reported problems (full log: $log)" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  tail -50 "$log"
  echo "tsan.sh: tests failed with status $status (log: $log)" >&2
  exit "$status"
fi
echo "tsan.sh: clean"
