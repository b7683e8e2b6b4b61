#!/usr/bin/env bash
# Search signature of the built engine: fixed-depth searches of a few
# positions through plain UCI, one thread and a cleared table before each,
# and the sum of the node counts of their last info lines. The sum changes
# only when the search or the evaluation changes, so a different sum from
# the same sources means the binary does not search the way it should.
#
# Usage: scripts/search_signature.sh [path-to-brakken]   (default build/brakken)
# Exit status 0 and "signature OK <n>" when the sum is the recorded one;
# 1 with both numbers when it is not; 2 when the engine fails to answer.
set -euo pipefail

# The recorded sum. Update it only together with a change that is meant to
# change how the engine searches or evaluates (search rules, evaluation
# terms, endgame knowledge, table size below): run this script three times,
# check that it prints the same new sum each time, and put that sum here.
expected=640042

# Same positions, depth and table size as the in-process test
# Search.FixedDepthNodeCountSignature (its 7 iterations are "go depth 7").
depth=7
hash_mb=4
fens=(
  "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
  "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
  "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"
  "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10"
  "8/5pk1/6p1/3P3p/1p5P/1P4P1/5PK1/8 w - - 0 40"
  "2r3k1/1p2q1pp/2b1pr2/p1pp4/6Q1/1P1PP1R1/P1PN2PP/5RK1 w - - 0 1"
)
# Seconds to wait for any one line of the engine (sanitizer builds are slow).
line_timeout=${SIGNATURE_LINE_TIMEOUT:-120}

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/brakken}
if [ ! -x "$binary" ]; then
  echo "search_signature.sh: no engine binary at $binary (build it first)" >&2
  exit 2
fi

coproc ENGINE { exec "$binary"; }
engine_pid=$ENGINE_PID
trap 'kill "$engine_pid" 2>/dev/null || true' EXIT

send() { printf '%s\n' "$1" >&"${ENGINE[1]}"; }

# Reads engine lines until one starts with $1; the last info line with a
# node count seen on the way is left in last_info.
read_until() {
  local line
  last_info=
  while IFS= read -r -t "$line_timeout" line <&"${ENGINE[0]}"; do
    line=${line%$'\r'}
    case $line in
      "$1"*) return 0 ;;
      info*" nodes "*) last_info=$line ;;
    esac
  done
  echo "search_signature.sh: no '$1' from the engine (it ended, or was silent for ${line_timeout}s)" >&2
  exit 2
}

send "uci"
read_until "uciok"
send "setoption name NumberOfProcessors value 1"
send "setoption name Hash value $hash_mb"
send "setoption name MultiPV value 1"
send "isready"
read_until "readyok"

total=0
for fen in "${fens[@]}"; do
  # A fresh game and an empty table: no search leaves anything behind for
  # the next one (the history tables start empty with every search).
  send "ucinewgame"
  send "setoption name Clear Hash"
  send "position fen $fen"
  send "go depth $depth"
  read_until "bestmove"
  nodes=$(sed -n 's/.* nodes \([0-9][0-9]*\).*/\1/p' <<<"$last_info")
  if [ -z "$nodes" ]; then
    echo "search_signature.sh: no node count after 'position fen $fen'" >&2
    exit 2
  fi
  total=$((total + nodes))
done
send "quit"
wait "$engine_pid" 2>/dev/null || true
trap - EXIT

if [ "$total" -eq "$expected" ]; then
  echo "signature OK $total"
  exit 0
fi
echo "signature MISMATCH: the engine searched $total nodes, the recorded signature is $expected" >&2
exit 1
