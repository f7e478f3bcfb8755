#!/usr/bin/env bash
# Builds the fuzz targets into build/fuzz with Debian's clang and libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer (index checks on), every
# library instrumented for coverage. Installs clang and its runtime if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-prerequisites.sh fuzz

cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DWIND_FUZZ=ON -DWIND_SANITIZE=ON -DWIND_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null
cmake --build build/fuzz -j 2 --target vorlan_input_fuzz corvel_input_fuzz terrain_file_fuzz
