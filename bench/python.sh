#!/usr/bin/env bash
# A box from Python against vorlan on the same box, and the memory it takes.
#
#   bench/python.sh [BUILD] [REPEAT]      (defaults build/release, 3)
#
# The load box of bench/run.sh (a), 8192 x 32 x 32, 3 components, LMax 16384
# 93 93, basic source, on all cores:
#   - vorlan's synthesis: the amplitude and transform stages of its stage
#     times (VORLAN_STAGE_TIMES), without writing the files;
#   - windfield.box on the same file and threads: the whole call, the
#     parameters read and checked included, in a fresh interpreter;
#   - the ratio of the two (the target: at most 1.05);
#   - Python's peak resident memory above the interpreter's with numpy and
#     windfield imported, against the field bytes 3 x 4 N1 N2 N3: a copy of
#     the fields would show as about twice those bytes.
# Each time is the best of REPEAT runs.
set -euo pipefail
build="$(cd "${1:-build/release}" && pwd)"
repeat="${2:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
cat > load.inp <<'INP'
3
3
8192 32 32
16384 93 93
basic
0.1 33.6 3.9
-1
u.bin
v.bin
w.bin
INP
threads="$(nproc)"

best_vorlan=""
for _ in $(seq "$repeat"); do
  line="$(VORLAN_STAGE_TIMES=1 "$build/vorlan/vorlan" load.inp --threads "$threads" 2>&1 |
          grep '^Stage times')"
  t="$(awk '{print $5 + $7}' <<<"$line")"
  best_vorlan="$(awk -v a="$best_vorlan" -v b="$t" 'BEGIN{print (a == "" || b < a) ? b : a}')"
done

best_python=""
for _ in $(seq "$repeat"); do
  out="$(PYTHONPATH="$build/python" /usr/bin/python3 - "$threads" <<'PY'
import resource, sys, time
import numpy as np
import windfield as wf
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
t0 = time.perf_counter()
b = wf.box("load.inp", threads=int(sys.argv[1]))
t = time.perf_counter() - t0
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(t, peak - before, b.array.nbytes)
PY
)"
  read -r t extra fields <<<"$out"
  best_python="$(awk -v a="$best_python" -v b="$t" 'BEGIN{print (a == "" || b < a) ? b : a}')"
done

awk -v v="$best_vorlan" -v p="$best_python" -v e="$extra" -v f="$fields" -v n="$threads" 'BEGIN {
  printf "load box 8192 x 32 x 32 x 3 on %d threads, best of runs:\n", n
  printf "  vorlan synthesis (amplitudes + transforms) %.3f s\n", v
  printf "  windfield.box                              %.3f s   ratio %.3f\n", p, p / v
  printf "  peak memory above the interpreter %.1f MiB for %.1f MiB of fields (%.2f x)\n",
         e / 2^20, f / 2^20, e / f
}'
