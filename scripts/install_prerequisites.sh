#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and this
# machine lacks: a compiler, CMake with make, GoogleTest and Google
# Benchmark. Does nothing when all of it is there; runs apt-get through sudo
# when not root. Used by play.sh and test.sh beside the README.
set -euo pipefail

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v make >/dev/null 2>&1 || need+=(make)
command -v g++ >/dev/null 2>&1 || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
[ ${#need[@]} -eq 0 ] && exit 0

echo "Installing what is missing: ${need[*]}"
if ! command -v apt-get >/dev/null 2>&1; then
  echo "install_prerequisites.sh: no apt-get here; install ${need[*]} (or their equivalents) by hand" >&2
  exit 1
fi
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install_prerequisites.sh: run as root, or install ${need[*]} with apt-get as root first" >&2
    exit 1
  fi
  as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${need[@]}"
