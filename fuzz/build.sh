#!/usr/bin/env bash
# Builds the fuzz targets into build/fuzz with Debian's clang and libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer (index checks on), every
# library instrumented for coverage. Installs clang and its runtime if missing.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzzer_lib=$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null | head -n1 || true)
if ! command -v clang++ >/dev/null 2>&1 || [ -z "$fuzzer_lib" ]; then
  echo "installing: clang libclang-rt-dev"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends clang libclang-rt-dev
fi

cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DWIND_FUZZ=ON -DWIND_SANITIZE=ON -DWIND_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null
cmake --build build/fuzz -j 2 --target vorlan_input_fuzz corvel_input_fuzz terrain_file_fuzz
