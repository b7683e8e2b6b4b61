#!/usr/bin/env bash
# Builds the engine (installing what is missing first) and starts it; the
# engine then reads UCI commands from the terminal. Arguments go to the engine.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install_prerequisites.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j8 && exec ./build/brakken "$@"
