#!/usr/bin/env bash
# vorlan-mpi on this machine: memory per process, a box beyond one process's
# memory limit, time by process count with the exchange volume, and the two
# ways of starting the classic stream on each slab.
#
#   (m) a box of 2^26 points (1024 x 256 x 256, 3 components, 768 MiB of
#       fields) on P = 1, 2, 4: the largest peak RSS of any process against
#       fields / P;
#   (l) a box of 2^27 points (2048 x 256 x 256, 1.5 GiB of fields) with every
#       process limited to LIMIT KiB of address space (ulimit -v; default
#       1258291, 1.2 GiB): vorlan fails, vorlan-mpi on 4 processes completes;
#   (p) the load box (8192 x 32 x 32) and the cube (256^3), 3 components, on
#       P = 1, 2, 3, 4, 8 processes of one thread each (on a machine of fewer
#       cores than P the processes share them: oversubscribed), classic and
#       counter stream: wall time, the stage times of rank 0 (amplitudes
#       includes the stream start, transforms the exchanges) and the bytes
#       each process sends per run (the mirror planes and the two transposes
#       of each component, from the decomposition);
#   (r) the classic stream's start on each slab, one pass by rank 0
#       (VORLAN_MPI_STREAM_START=onepass) against each process replaying its
#       prefix (the default), load box on P = 2 and 4: wall time, rank 0's
#       amplitude stage and the CPU seconds of all processes.
# Open MPI runs as root only with OMPI_ALLOW_RUN_AS_ROOT=1 and
# OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 in the environment (set them yourself).
#
# Installs Open MPI if it is missing (tools/install-prerequisites.sh mpi).
# Builds in release mode in build/bench (tests off) unless BUILD names a
# build folder; runs in BUILD/runs-mpi; output files are deleted afterwards.
# Usage: [BUILD=dir] [LIMIT=KiB] bench/mpi.sh [m|l|p|r]...   (default: m l p r)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/tools/install-prerequisites.sh" mpi
if [[ -z "${BUILD:-}" ]]; then
  build="$root/build/bench"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWIND_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target vorlan vorlan-mpi >/dev/null
else
  build="$(cd "$BUILD" && pwd)"
fi
vorlan="$build/vorlan/vorlan"
mpi="$build/distributed/vorlan-mpi"
work="$build/runs-mpi"
mkdir -p "$work"
cd "$work"

write_input() {  # name npoint lmax
  printf '3\n3\n%s\n%s\nbasic\n0.1 33.6 3.9\n-1\n%s_u.bin\n%s_v.bin\n%s_w.bin\n' "$2" "$3" "$1" "$1" "$1" >"$1.inp"
}

# Runs vorlan-mpi on P processes (rest: its arguments) under /usr/bin/time;
# sets wall (s), cpu (s, all processes), rss (MiB, largest process), stages.
run_mpi() {
  local np=$1 t0 t1
  shift
  rm -f rank.*.time
  t0=$(date +%s.%N)
  VORLAN_STAGE_TIMES=1 mpiexec -np "$np" --oversubscribe --bind-to none \
    sh -c '/usr/bin/time -f "%U %S %M" -o rank.$OMPI_COMM_WORLD_RANK.time "$@"' sh "$mpi" "$@" \
    >out.txt 2>err.txt || { cat err.txt; exit 1; }
  t1=$(date +%s.%N)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  cpu=$(cat rank.*.time | awk '{ s += $1 + $2 } END { printf "%.2f", s }')
  rss=$(cat rank.*.time | awk '{ if ($3 > m) m = $3 } END { printf "%.1f", m / 1024 }')
  stages=$(awk '/^Stage times/ { printf "amplitudes %s transforms %s writing %s", $5, $7, $9 }' err.txt)
  rm -f ./*.bin ./*.json
}

# Bytes one process of P sends per run (3 components): the mirror planes
# (about its own planes) and both transposes ((P - 1)/P of its planes each).
exchange_mib() {  # n1 n2 n3 P
  awk -v a="$1" -v b="$2" -v c="$3" -v p="$4" 'BEGIN {
    slab = 4 * (a / p) * b * c; mirror = (p > 1) ? slab : 0
    printf "%.1f", 3 * (mirror + 2 * slab * (p - 1) / p) / 1048576 }'
}

box_m() {
  write_input m "1024 256 256" "4096 1000 1000"
  echo "(m) memory per process, 1024 x 256 x 256, 3 components (fields 768 MiB)"
  for np in 1 2 4; do
    run_mpi "$np" --threads 1 m.inp
    printf '  P = %d: largest peak RSS %8.1f MiB, fields / P %6.1f MiB, ratio %.2f (wall %s s)\n' \
      "$np" "$rss" "$(awk -v p="$np" 'BEGIN { print 768 / p }')" \
      "$(awk -v r="$rss" -v p="$np" 'BEGIN { printf "%.2f", r / (768 / p) }')" "$wall"
  done
}

box_l() {
  local limit=${LIMIT:-1258291}
  write_input l "2048 256 256" "8192 1000 1000"
  echo "(l) 2048 x 256 x 256, 3 components (fields 1536 MiB), each process limited to $limit KiB"
  if (ulimit -v "$limit"; "$vorlan" --threads 1 l.inp >/dev/null 2>err1.txt); then
    echo "  vorlan: completed (the limit is not below its need)"
  else
    echo "  vorlan: failed: $(grep -A1 'run-time error' err1.txt | tail -1)"
  fi
  rm -f ./*.bin ./*.json
  (ulimit -v "$limit"; run_mpi 4 --threads 1 l.inp
   echo "  vorlan-mpi on 4 processes: completed in $wall s, largest peak RSS $rss MiB")
}

box_p() {
  local name n1 n2 n3 random
  for spec in "a|8192 32 32|16384 93 93" "b|256 256 256|1000 1000 1000"; do
    IFS='|' read -r name npoint lmax <<<"$spec"
    read -r n1 n2 n3 <<<"$npoint"
    write_input "$name" "$npoint" "$lmax"
    echo "(p) $name: $npoint, 3 components, one thread a process, $(nproc) cores"
    for random in classic counter; do
      for np in 1 2 3 4 8; do
        run_mpi "$np" --threads 1 --random "$random" "$name.inp"
        printf '  %-7s P = %d: wall %6.2f s  cpu %6.2f s  rank 0: %s  sends %s MiB\n' \
          "$random" "$np" "$wall" "$cpu" "$stages" "$(exchange_mib "$n1" "$n2" "$n3" "$np")"
      done
    done
  done
}

box_r() {
  write_input a "8192 32 32" "16384 93 93"
  echo "(r) classic stream start on each slab, load box, one thread a process"
  for np in 2 4; do
    for how in onepass replay; do
      VORLAN_MPI_STREAM_START=$how run_mpi "$np" --threads 1 a.inp
      printf '  P = %d %-8s wall %6.2f s  cpu (all) %6.2f s  rank 0: %s\n' "$np" "$how" "$wall" "$cpu" "$stages"
    done
  done
}

boxes=("$@")
[[ ${#boxes[@]} -eq 0 ]] && boxes=(m l p r)
for box in "${boxes[@]}"; do
  case "$box" in
    m) box_m ;;
    l) box_l ;;
    p) box_p ;;
    r) box_r ;;
    *) echo "unknown measurement '$box' (m, l, p or r)" >&2; exit 2 ;;
  esac
done
