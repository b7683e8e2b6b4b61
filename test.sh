#!/usr/bin/env bash
# Builds the engine and its tests (installing what is missing first) and
# runs the unit tests: the README's test command.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install_prerequisites.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j8 && ctest --test-dir build -L unit --output-on-failure -j8
