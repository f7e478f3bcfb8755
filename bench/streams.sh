#!/usr/bin/env bash
# Times the random streams of a synthesis cut into slabs for P processes
# (bench/streams.cpp): the classic stream's Gaussian draw, its skip (the
# state of a slab by one pass of rank 0 or by each process replaying its
# prefix) and the counter stream, on
#   (a) the load box 8192 x 32 x 32, 3 components;
#   (b) a box of 2^30 points, 4096 x 512 x 512, 3 components (about 3.2e9
#       deviates: a few minutes).
# Builds the libraries in release mode in build/bench (tests off).
# Usage: bench/streams.sh [a|b]...   (default: both)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWIND_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target synthesis >/dev/null
exe="$build/streams"
g++ -std=c++20 -O2 -fopenmp -ffp-contract=off -I"$root" -I"$build/numerics/generated" \
  -o "$exe" "$root/bench/streams.cpp" \
  "$build/synthesis/libsynthesis.a" "$build/tensor/libtensor.a" "$build/numerics/libnumerics.a"

boxes=("$@")
[[ ${#boxes[@]} -eq 0 ]] && boxes=(a b)
for box in "${boxes[@]}"; do
  case "$box" in
    a) echo "(a) load box"; "$exe" 8192 32 32 3 ;;
    b) echo "(b) 2^30 points"; "$exe" 4096 512 512 3 ;;
    *) echo "unknown box '$box' (a or b)" >&2; exit 2 ;;
  esac
done
