#!/usr/bin/env bash
# Checks of what lies beside the two programs, run by .ci/run after the unit
# tests (build/release must be built):
#   1. the batch recipes: a 2 speeds x 2 seeds table of small boxes run with
#      GNU parallel, and one row run by the Slurm array script as plain bash;
#   2. the Debian package: built with CPack, unpacked into a scratch root with
#      dpkg-deb -x, and its programs run from there (--version, a tiny box,
#      corvel, and vorlan-look finding corvel beside itself).
# A check whose tool is missing (GNU parallel, dpkg-deb, python3-matplotlib)
# says so and is skipped; any failure ends the script with status 1.
#
# Usage: tests/extras.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
[[ "$build" = /* ]] || build="$root/$build"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "extras: FAILED: $*" >&2; exit 1; }
python=/usr/bin/python3

# Every row folder of a table holds its three fields of the right size.
# The run records (box_u.bin.json) are checked once vorlan writes them.
check_rows() {  # table-folder rows...
  local table="$1" row f; shift
  for row in "$@"; do
    for f in box_u.bin box_v.bin box_w.bin; do
      [[ -f "$table/$row/$f" ]] || fail "missing $row/$f"
      [[ $(stat -c %s "$table/$row/$f") -eq $((64 * 8 * 8 * 4)) ]] || fail "$row/$f has the wrong size"
    done
    grep -q '"vorlan run record"' "$table/$row/box_u.bin.json" 2>/dev/null \
      || fail "no run record in $row"
  done
}

make_tiny_table() {  # folder
  "$root/examples/batch/make_table.sh" --speeds "8 12" \
    --seeds "-1 -2" --grid "64 8 8" --width "50 50" --duration 10 "$1" >/dev/null
}

export VORLAN="$build/vorlan/vorlan"

echo "extras: batch table with GNU parallel"
if command -v parallel >/dev/null; then
  make_tiny_table "$work/par"
  "$root/examples/batch/run_parallel.sh" "$work/par" --jobs 2 || fail "run_parallel.sh"
  check_rows "$work/par" v8_s1 v8_s2 v12_s1 v12_s2
  [[ $(tail -n +2 "$work/par/joblog" | awk '$7 != 0' | wc -l) -eq 0 ]] || fail "a row failed in the joblog"
else
  echo "extras: skipped: GNU parallel is not installed"
fi

echo "extras: Slurm array script as plain bash, task 3"
make_tiny_table "$work/slurm"
SLURM_ARRAY_TASK_ID=3 bash "$root/examples/batch/slurm_array.sh" "$work/slurm" || fail "slurm_array.sh"
check_rows "$work/slurm" v12_s1
[[ ! -e "$work/slurm/v8_s1/box_u.bin" ]] || fail "task 3 ran another row"
if SLURM_ARRAY_TASK_ID=9 bash "$root/examples/batch/slurm_array.sh" "$work/slurm" 2>/dev/null; then
  fail "a task beyond the table succeeded"
fi

echo "extras: Debian package"
if command -v dpkg-deb >/dev/null && command -v cpack >/dev/null; then
  (cd "$build" && cpack -B "$work/pkg" >/dev/null) || fail "cpack"
  deb="$(ls "$work"/pkg/*.deb)"
  dpkg-deb -x "$deb" "$work/root"
  bin="$work/root/usr/bin"
  dpkg-deb -f "$deb" Depends | grep -q libgomp1 || fail "the package does not depend on libgomp1"
  dpkg-deb -c "$deb" | grep -q -e _test -e _tests && fail "the package holds tests"
  for p in vorlan vorlan-plan corvel; do
    "$bin/$p" --version | grep -Eq "^$p [0-9]+\.[0-9]+\.[0-9]+$" || fail "$p --version"
  done
  [[ -f "$work/root/usr/share/man/man1/vorlan.1" && -f "$work/root/usr/share/man/man1/corvel.1" \
     && -f "$work/root/usr/share/man/man1/vorlan-plan.1" ]] \
    || fail "man pages missing"
  mkdir -p "$work/run"
  printf '3\n3\n32 8 8\n64 32 32\nbasic\n0.1 33.6 3.9\n-1\nt_u.bin\nt_v.bin\nt_w.bin\n' >"$work/run/t.inp"
  (cd "$work/run" && "$bin/vorlan" t.inp 2>/dev/null) || fail "installed vorlan on a tiny box"
  [[ $(stat -c %s "$work/run/t_w.bin") -eq $((32 * 8 * 8 * 4)) ]] || fail "installed vorlan's output"
  "$bin/corvel" "$root/examples/corvel_sigma2.inp" 2>/dev/null | wc -l | grep -qx 4 || fail "installed corvel"
  if "$python" -c 'import numpy, matplotlib' 2>/dev/null; then
    # vorlan-look must find the corvel installed beside it, with no corvel on PATH.
    [[ -f "$work/run/t_u.bin.json" ]] || fail "installed vorlan wrote no run record"
    (cd "$work/run" && PATH=/usr/bin:/bin "$bin/vorlan-look" t_u.bin.json -o t.png >/dev/null) \
      || fail "installed vorlan-look"
    [[ -s "$work/run/t.png" && -s "$work/run/t.spectra.json" ]] || fail "vorlan-look's picture"
  else
    echo "extras: skipped vorlan-look: python3-numpy or python3-matplotlib missing"
  fi
else
  echo "extras: skipped: dpkg-deb or cpack missing"
fi
echo "extras: all passed"
