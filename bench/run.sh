#!/usr/bin/env bash
# Times the simulator on two three-dimensional boxes against the floor of the
# job, and reports wall time, CPU time and peak resident memory of each run.
#
#   (a) load box  8192 x 32 x 32, 3 components, LMax 16384 93 93: unequal box
#       lengths, so the cell integrals near the origin run;
#   (b) cube      256 x 256 x 256, 3 components, equal box lengths.
#
# Per box: vorlan on 1 thread and on all cores (--threads), a six-seed run on
# all cores (--seeds -1:-6, per box), and the floor: FFTW 3's single-precision
# inverse real 3-D transforms of the same three arrays plus writing them
# (bench/floor.cpp, on 1 thread and on all cores; FFTW is needed only here,
# and installed if missing). Every time is also printed as a ratio to the
# one-thread floor, and the amplitude stage's speed-up from 1 thread to all
# cores (VORLAN_STAGE_TIMES). Each measurement is repeated REPEAT times
# (default 3); the best is reported with the spread (worst - best).
#
# The same two boxes with the counter stream (--random counter): (c) the load
# box, (d) the cube.
#
# The random streams of a box cut into slabs for P processes
# (bench/streams.cpp): the classic stream's draw, its skip to each slab's first
# deviate (one pass that records every slab's state, or each process
# replaying its prefix) and the counter stream, on
#   (s) the load box 8192 x 32 x 32, 3 components;
#   (S) a box of 2^30 points, 4096 x 512 x 512, 3 components (3.2e9
#       deviates: a few minutes).
#
# Constraints (vorlan --constraints, docs/constraints.md):
#   (m) the load box of (a) with ten series (u, v and w at the hub, u at 60
#       and 120 m and 30 m to either side, w at those sides, v at 120 m; U =
#       10 m/s, hub 90 m, 10 Hz series drawn from another box of the model at
#       the nearest grid points) against the same run unconstrained (with the
#       same placement), on one thread and on all cores: wall and CPU time,
#       the synthesis stages (amplitudes and transforms, without the writes),
#       peak memory, and the constrained run's share over the unconstrained
#       one. Every run starts with the page cache written back (sync).
#
# The fit (corvel-fit, docs/fit.md):
#   (f) a 10-minute 20 Hz sonic series (12000 samples of u, v, w, drawn from a
#       line of the model passing at 10 m/s) read, rotated, turned into Welch
#       spectra and fitted: wall, CPU and peak memory, against the floor of
#       reading the same text (awk summing its columns).
#
# Builds in release mode in build/bench (tests off) and runs in a scratch
# directory under build/bench/runs; the output files are deleted afterwards.
# At the end a table of the boxes a to d run: the floor, vorlan on 1 thread
# and on all cores (with their ratios to the floor), the amplitude stage on 1
# thread and on all cores and the transforms on 1 thread (VORLAN_STAGE_TIMES).
# NO_SEEDS=1 leaves the six-seed runs out.
#
# Usage: [REPEAT=n] [NO_SEEDS=1] bench/run.sh [a|b|c|d|f|m|s|S]...
#   (default: a b c d, both streams on both boxes)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/tools/install-prerequisites.sh" bench
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWIND_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vorlan corvel-fit >/dev/null
vorlan="$build/vorlan/vorlan"
fit="$build/fit/corvel-fit"
floor="$build/floor"
g++ -std=c++20 -O2 -o "$floor" "$root/bench/floor.cpp" -lfftw3f_threads -lfftw3f -lpthread
streams="$build/streams"
g++ -std=c++20 -O2 -fopenmp -ffp-contract=off -I"$root" -I"$build/support/generated" \
  -o "$streams" "$root/bench/streams.cpp" \
  "$build/synthesis/libsynthesis.a" "$build/tensor/libtensor.a" "$build/numerics/libnumerics.a" "$build/support/libsupport.a"
cores=$(nproc)
repeat=${REPEAT:-3}

work="$build/runs"
mkdir -p "$work"
cd "$work"

write_input() {  # name npoint lmax
  cat >"$1.inp" <<EOI
3
3
$2
$3
basic
0.1 33.6 3.9
-1
$1_u.bin
$1_v.bin
$1_w.bin
EOI
}

# Runs a command REPEAT times under /usr/bin/time; sets best wall (s), spread
# (s), cpu (s) and peak RSS (MiB) of the best run, and stage (amplitude
# seconds, when printed).
measure() {
  local log="$work/time.log" w c r st i
  best="" spread=0 worst=0
  for ((i = 0; i < repeat; i++)); do
    VORLAN_STAGE_TIMES=1 /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" >"$work/out.txt" 2>"$work/err.txt" \
      || { cat "$work/err.txt"; exit 1; }
    read -r w u s r <"$log"
    c=$(awk -v a="$u" -v b="$s" 'BEGIN { printf "%.2f", a + b }')
    # The floor prints its own time (transforms and writes only).
    if grep -q '^floor ' "$work/out.txt"; then w=$(awk '/^floor / {print $2}' "$work/out.txt"); fi
    st=$(awk '/^Stage times/ {s += $5} END {print s + 0}' "$work/err.txt")
    tr=$(awk '/^Stage times/ {s += $7} END {print s + 0}' "$work/err.txt")
    if [[ -z "$best" ]] || awk -v a="$w" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$w cpu=$c rss=$(awk -v k="$r" 'BEGIN { printf "%.1f", k / 1024 }') stage=$st \
        transforms=$tr
    fi
    awk -v a="$w" -v b="$worst" 'BEGIN { exit !(a > b) }' && worst=$w
    rm -f ./*_u*.bin ./*_v*.bin ./*_w*.bin ./*.json floor_*.bin
  done
  spread=$(awk -v a="$worst" -v b="$best" 'BEGIN { printf "%.2f", a - b }')
}

report() {  # label per-box-divisor
  local ratio
  ratio=$(awk -v w="$best" -v n="$2" -v f="$floor1" 'BEGIN { printf "%.2f", w / n / f }')
  printf '  %-26s wall %7.2f s (spread %5.2f)  cpu %7.2f s  peak RSS %8.1f MiB  %5.2f x floor\n' \
    "$1" "$best" "$spread" "$cpu" "$rss" "$ratio"
}

# One row of the closing table per box run: label, floor, vorlan on 1 and on
# all cores, the amplitude stage on 1 and on all cores, the transforms on 1.
table=()

run_box() {  # name npoint lmax label vorlan-options table-label
  local name="$1" n1 n2 n3 fieldsMiB amp1 ampN v1 vN tr1
  local -a extra
  read -r -a extra <<<"${5:-}"
  write_input "$name" "$2" "$3"
  read -r n1 n2 n3 <<<"$2"
  fieldsMiB=$(awk -v a="$n1" -v b="$n2" -v c="$n3" 'BEGIN { printf "%.1f", 3 * 4 * a * b * c / 1048576 }')
  echo "$4 (fields $fieldsMiB MiB, $cores cores, best of $repeat)"
  measure "$floor" "$n1" "$n2" "$n3" 3 1 "$work"; floor1=$best
  report "floor, 1 thread" 1
  measure "$floor" "$n1" "$n2" "$n3" 3 "$cores" "$work"
  report "floor, $cores threads" 1
  measure "$vorlan" --threads 1 "${extra[@]}" "$name.inp"; amp1=$stage v1=$best tr1=$transforms
  report "vorlan, 1 thread" 1
  echo "  peak RSS / fields: $(awk -v r="$rss" -v f="$fieldsMiB" 'BEGIN { printf "%.3f", r / f }')"
  measure "$vorlan" --threads "$cores" "${extra[@]}" "$name.inp"; ampN=$stage vN=$best
  report "vorlan, $cores threads" 1
  echo "  peak RSS / fields: $(awk -v r="$rss" -v f="$fieldsMiB" 'BEGIN { printf "%.3f", r / f }')"
  echo "  amplitude stage: $amp1 s on 1 thread, $ampN s on $cores: speed-up" \
    "$(awk -v a="$amp1" -v b="$ampN" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
  if [[ -z "${NO_SEEDS:-}" ]]; then
    measure "$vorlan" --threads "$cores" --seeds -1:-6 "${extra[@]}" "$name.inp"
    report "6 seeds, per box" 6
  fi
  table+=("$(awk -v l="$6" -v f="$floor1" -v a="$v1" -v b="$vN" -v s="$amp1" -v t="$ampN" \
    -v r="$tr1" 'BEGIN { printf "| %s | %.2f s | %.2f s (%.1fx) | %.2f s (%.1fx) | %.2f s / %.2f s | %.2f s |", \
    l, f, a, a / f, b, b / f, s, t, r }')")
}

# The summary of every box run, as the table of the amplitude stage's issue.
print_table() {
  [[ ${#table[@]} -eq 0 ]] && return
  echo
  echo "Summary ($cores cores, best of $repeat; ratios to the one-thread floor):"
  echo
  echo "| box | floor 1 thread | vorlan 1 thread | vorlan $cores threads |" \
    "amplitude stage 1 thread / $cores threads | transforms 1 thread |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${table[@]}"
}

# The series of (m): ten lines of another box of the model (seed -2) at the
# grid points nearest to theirs, sampled every 0.1 s (half the box's step) by
# linear interpolation in time, the plane a point at x = 0 sees at t taken as
# the box's plane (N1 - t / dt) mod N1.
write_series() {  # input-of-the-source-box series-file
  "$vorlan" "$1" >/dev/null 2>&1 || { echo "vorlan failed on $1" >&2; exit 1; }
  python3 - "$2" <<'EOP'
import sys
from array import array
N1, N2, N3, dy = 8192, 32, 32, 93.0 / 32
dt = 16384.0 / N1 / 10.0
bottom = 90.0 - (N3 - 1) * dy / 2
def load(name):
    a = array('f'); a.frombytes(open(name, 'rb').read()); return a
f = {c: load('c_src_%s.bin' % c) for c in 'uvw'}
points = [('u', 0, 90), ('v', 0, 90), ('w', 0, 90), ('u', 0, 60), ('u', 0, 120),
          ('u', -30, 90), ('u', 30, 90), ('w', -30, 90), ('w', 30, 90), ('v', 0, 120)]
lines = []
for c, y, z in points:
    j = min(N2 - 1, max(0, round((y + (N2 - 1) * dy / 2) / dy)))
    k = min(N3 - 1, max(0, round((z - bottom) / dy)))
    lines.append([f[c][(i * N2 + j) * N3 + k] for i in range(N1)])
with open(sys.argv[1], 'w') as out:
    out.write('time ' + ' '.join('%s(%g,%g)' % p for p in points) + '\n')
    for r in range(int(N1 * dt / 0.1) + 1):
        x = r * 0.1 / dt
        n = int(x)
        a = x - n
        row = ['%.1f' % (r * 0.1)]
        for l in lines:
            p0, p1 = l[(N1 - n) % N1], l[(N1 - n - 1) % N1]
            row.append('%.4f' % (p0 + (p1 - p0) * a))
        out.write(' '.join(row) + '\n')
EOP
  rm -f c_src_*.bin c_src_*.json
}

# One run under /usr/bin/time: sets w (wall s), c (cpu s), r (peak RSS MiB).
timed() {
  local log="$work/time.log" u sys
  # The page cache written back first, so that no run pays for the writes of
  # the run before it.
  sync
  VORLAN_STAGE_TIMES=1 /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" >"$work/out.txt" \
    2>"$work/err.txt" || { cat "$work/err.txt"; exit 1; }
  read -r w u sys r <"$log"
  c=$(awk -v a="$u" -v b="$sys" 'BEGIN { printf "%.2f", a + b }')
  # The synthesis itself: amplitudes (with the conditioning) and transforms
  # (with the check of the lines), without the writes, whose time on a shared
  # disk varies more than the conditioning costs.
  s=$(awk '/^Stage times/ {print $5 + $7}' "$work/err.txt")
  r=$(awk -v k="$r" 'BEGIN { printf "%.1f", k / 1024 }')
  rm -f ./c_u.bin ./c_v.bin ./c_w.bin ./c_u.bin.json
}

# The two runs alternate, REPEAT times each, so that both meet the same load
# on a shared machine; the best wall, synthesis and the least CPU time of
# each count.
run_constraints() {
  local threads i bw bc br bs cw cc cr cs
  write_input c "8192 32 32" "16384 93 93"
  sed 's/^-1$/-2/; s/^c_/c_src_/' c.inp >c_src.inp
  write_series c_src.inp c_series.txt
  echo "(m) load box 8192x32x32 with ten constraint series, U 10 m/s, hub 90 m" \
    "(alternating, best of $repeat)"
  for threads in 1 "$cores"; do
    bw=1e9 bc=1e9 bs=1e9 cw=1e9 cc=1e9 cs=1e9
    # In the order AB BA AB ..: on this kernel a run's writes take from 0.01
    # to 0.1 s per component depending on the run before it, alternately.
    for ((i = 0; i < 2 * repeat; i++)); do
      if (((i + i / 2) % 2 == 0)); then
        timed "$vorlan" --threads "$threads" c.inp --wind-speed 10 --hub-height 90
        bw=$(awk -v a="$w" -v b="$bw" 'BEGIN { print (a < b ? a : b) }')
        bc=$(awk -v a="$c" -v b="$bc" 'BEGIN { print (a < b ? a : b) }') br=$r
        bs=$(awk -v a="$s" -v b="$bs" 'BEGIN { print (a < b ? a : b) }')
      else
        timed "$vorlan" --threads "$threads" c.inp --constraints c_series.txt --wind-speed 10 \
          --hub-height 90
        cw=$(awk -v a="$w" -v b="$cw" 'BEGIN { print (a < b ? a : b) }')
        cc=$(awk -v a="$c" -v b="$cc" 'BEGIN { print (a < b ? a : b) }') cr=$r
        cs=$(awk -v a="$s" -v b="$cs" 'BEGIN { print (a < b ? a : b) }')
      fi
    done
    printf '  %-30s wall %7.2f s  cpu %7.2f s  synthesis %6.2f s  peak RSS %8.1f MiB\n' \
      "unconstrained, $threads thread(s)" "$bw" "$bc" "$bs" "$br"
    printf '  %-30s wall %7.2f s  cpu %7.2f s  synthesis %6.2f s  peak RSS %8.1f MiB\n' \
      "ten series, $threads thread(s)" "$cw" "$cc" "$cs" "$cr"
    echo "  constrained over unconstrained: wall $(awk -v a="$cw" -v b="$bw" \
      'BEGIN { printf "%+.0f", 100 * (a / b - 1) }') %, cpu $(awk -v a="$cc" -v b="$bc" \
      'BEGIN { printf "%+.0f", 100 * (a / b - 1) }') %, synthesis $(awk -v a="$cs" -v b="$bs" \
      'BEGIN { printf "%+.0f", 100 * (a / b - 1) }') %, memory $(awk -v a="$cr" -v b="$br" \
      'BEGIN { printf "%+.1f", a - b }') MiB"
  done
}

# (f): the series from a line of the basic model (16384 points over 8192 m,
# seed -3) at U = 10 m/s, every 0.05 s, in the wind's axes.
run_fit() {
  cat >f_line.inp <<EOI
1
3
16384
8192
basic
0.1 33.6 3.9
-3
f_u.bin
f_v.bin
f_w.bin
EOI
  "$vorlan" f_line.inp >/dev/null 2>&1 || { echo "vorlan failed on f_line.inp" >&2; exit 1; }
  python3 - <<'EOP'
from array import array
def load(name):
    a = array('f'); a.frombytes(open(name, 'rb').read()); return a
u, v, w = (load('f_%s.bin' % c) for c in 'uvw')
with open('f_series.txt', 'w') as out:
    out.write('time u v w\n')
    for j in range(12000):
        out.write('%.2f %.3f %.3f %.3f\n' % (j * 0.05, 10 + u[j], v[j], w[j]))
EOP
  rm -f f_*.bin f_*.json
  echo "(f) corvel-fit on a 10-minute 20 Hz sonic series, 12000 samples (best of $repeat)"
  local floor fitted
  fine_wall awk '{ s += $2 + $3 + $4 } END { print s }' f_series.txt; floor=$wall
  printf '  %-34s wall %7.3f s  cpu %5.2f s  peak RSS %6.1f MiB\n' "floor: awk reads the file" \
    "$floor" "$cpu" "$rss"
  fine_wall "$fit" f_series.txt --json f_result.json; fitted=$wall
  printf '  %-34s wall %7.3f s  cpu %5.2f s  peak RSS %6.1f MiB  %5.1f x floor\n' \
    "corvel-fit: spectra, fit, JSON" "$fitted" "$cpu" "$rss" \
    "$(awk -v a="$fitted" -v b="$floor" 'BEGIN { printf "%.1f", a / b }')"
  rm -f f_series.txt f_result.json
}

# Sets wall to the best wall time (s, to the millisecond) of REPEAT runs of a
# command, cpu to the least CPU time (user and system, s, to the hundredth)
# and rss to its peak RSS (MiB).
fine_wall() {
  local i t0 t1 c
  wall=1e9 cpu=1e9
  for ((i = 0; i < repeat; i++)); do
    t0=$(date +%s%N)
    /usr/bin/time -f "%M %U %S" -o "$work/time.log" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    t1=$(date +%s%N)
    c=$(awk '{ print $2 + $3 }' "$work/time.log")
    cpu=$(awk -v a="$c" -v b="$cpu" 'BEGIN { print (a < b ? a : b) }')
    wall=$(awk -v a="$(((t1 - t0) / 1000))" -v b="$wall" 'BEGIN { t = a / 1e6; print (t < b ? t : b) }')
  done
  rss=$(awk '{ printf "%.1f", $1 / 1024 }' "$work/time.log")
}

boxes=("$@")
[[ ${#boxes[@]} -eq 0 ]] && boxes=(a b c d)
for box in "${boxes[@]}"; do
  case "$box" in
    a) run_box a "8192 32 32" "16384 93 93" "(a) load box 8192x32x32, LMax 16384 93 93" "" \
         "load 8192 x 32 x 32 x 3, classic" ;;
    b) run_box b "256 256 256" "1000 1000 1000" "(b) cube 256x256x256, equal LMax" "" \
         "cube 256^3 x 3, classic" ;;
    c) run_box a "8192 32 32" "16384 93 93" "(c) load box, counter stream (--random counter)" \
         "--random counter" "load, counter" ;;
    d) run_box b "256 256 256" "1000 1000 1000" "(d) cube, counter stream (--random counter)" \
         "--random counter" "cube, counter" ;;
    s) echo "(s) random streams, load box"; "$streams" 8192 32 32 3 ;;
    S) echo "(S) random streams, 2^30 points"; "$streams" 4096 512 512 3 ;;
    m) run_constraints ;;
    f) run_fit ;;
    *) echo "unknown box '$box' (a, b, c, d, f, m, s or S)" >&2; exit 2 ;;
  esac
done
print_table
