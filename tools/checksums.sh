#!/usr/bin/env bash
# Prints the md5 of every file that the examples and both benchmark boxes
# write, and of every spectrum-calculator example's standard output. Two runs
# of this script before and after a change must print the same lines: the
# programs are reproducible bit for bit.
#
# Usage: tools/checksums.sh [BUILD_DIR]   (default build/release)
#   Extra vorlan arguments can be passed in VORLAN_ARGS (e.g. a thread count).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
[[ "$build" = /* ]] || build="$root/$build"
vorlan="$build/vorlan/vorlan"
corvel="$build/corvel/corvel"
[[ -x "$vorlan" && -x "$corvel" ]] || { echo "build the programs first ($build)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$root"

# Runs vorlan in the scratch folder so that every output lands there; the
# parameter file is copied in, with the terrain file it names.
run_vorlan() {  # name input-file
  local name="$1" inp="$2" out="$work/$1"
  mkdir -p "$out/examples"
  cp "$inp" "$out/in.inp"
  cp examples/terrain_hill.dat "$out/examples/"
  (cd "$out" && "$vorlan" in.inp ${VORLAN_ARGS:-} >stdout.txt 2>stderr.txt) \
    || { echo "vorlan failed on $inp" >&2; cat "$out/stderr.txt" >&2; exit 1; }
  (cd "$out" && for f in *.bin stdout.txt stderr.txt; do
     [[ -e "$f" ]] && printf '%s  %s/%s\n' "$(md5sum <"$f" | cut -d' ' -f1)" "$name" "$f"
   done)
  rm -rf "$out"
}

for inp in examples/*.inp; do
  base="$(basename "$inp" .inp)"
  case "$base" in
    corvel_*)
      "$corvel" "$inp" >"$work/c.out" 2>"$work/c.err" \
        || { echo "corvel failed on $inp" >&2; exit 1; }
      printf '%s  %s/stdout\n' "$(md5sum <"$work/c.out" | cut -d' ' -f1)" "$base"
      printf '%s  %s/stderr\n' "$(md5sum <"$work/c.err" | cut -d' ' -f1)" "$base"
      ;;
    *) run_vorlan "$base" "$inp" ;;
  esac
done

# The two benchmark boxes (see bench/run.sh).
bench_box() {  # name npoint lmax
  cat >"$work/$1.inp" <<EOB
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
EOB
  run_vorlan "$1" "$work/$1.inp"
}
bench_box bench_a "8192 32 32" "16384 93 93"
bench_box bench_b "256 256 256" "1000 1000 1000"
