#!/usr/bin/env bash
# Builds the engine (installing what is missing first) and starts it; the
# engine then reads UCI commands from the terminal. Arguments go to the engine.
# Only the engine is built, not the tests, benchmarks or tools. Whatever the
# installer and the build print goes to standard error, and they read nothing
# from standard input: a chess GUI that starts this script talks to the
# engine over those two, so standard output carries the engine's lines alone
# and the GUI's first commands wait for the engine.
set -euo pipefail
cd "$(dirname "$0")"
{
  scripts/install_prerequisites.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j8 --target brakken
} </dev/null >&2
exec ./build/brakken "$@"
