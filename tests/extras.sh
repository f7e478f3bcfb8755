#!/usr/bin/env bash
# Checks of what lies beside the two programs, run by .ci/run after the unit
# tests (build/release must be built):
#   1. the batch recipes: a 2 speeds x 2 seeds table of small boxes planned
#      by vorlan-plan --table, in a folder whose name holds a space and shell
#      code, run with GNU parallel from a relative VORLAN with vorlan options
#      passed to every row (one naming a file relative to the folder the batch
#      starts in), then with one broken row; one row run by the Slurm array
#      script as plain bash, and task numbers that are not rows; values
#      vorlan-plan refuses for a table;
#   2. the Debian package: built with CPack, its dependencies naming the NetCDF
#      run-time where vorlan links it, checked by lintian (no errors or
#      warnings), unpacked into a scratch root with dpkg-deb -x, its tree
#      checked (the documents, the examples, compressed manual pages naming
#      them, a copyright file that puts every path under Apache-2.0), and its
#      programs run from there (--version, a tiny box, corvel, corvel-fit, the
#      Python module imported from there, and vorlan-look over it).
# GNU parallel, lintian, numpy and matplotlib are installed first where they
# are missing (tools/install-prerequisites.sh). A check whose tool is still
# missing (not a Debian system) says so and is skipped; any failure ends the
# script with status 1.
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
"$root/tools/install-prerequisites.sh" batch package pictures

# Every row folder of a table holds its three fields, named after the row,
# of the right size, and its run record.
check_rows() {  # table-folder rows...
  local table="$1" row c; shift
  for row in "$@"; do
    for c in u v w; do
      [[ -f "$table/$row/${row}_$c.bin" ]] || fail "missing $row/${row}_$c.bin"
      [[ $(stat -c %s "$table/$row/${row}_$c.bin") -eq $((32 * 32 * 32 * 4)) ]] \
        || fail "$row/${row}_$c.bin has the wrong size"
    done
    grep -q '"vorlan run record"' "$table/$row/${row}_u.bin.json" 2>/dev/null \
      || fail "no run record in $row"
  done
}

# 2 speeds x 2 seeds, 32 steps of 0.5 s on the planner's smallest grid.
plan_table() {  # folder [options...]
  local folder="$1"; shift
  "$build/vorlan/vorlan-plan" --speeds 8,12 --seeds -1,-2 --hub-height 40 --rotor-diameter 40 \
    --time 16 --dt 0.5 --class B --table "$folder" "$@" >/dev/null
}

# Runs a command that must fail with one line on standard error holding the
# given text.
refused() {  # text command...
  local text="$1" err; shift
  if err="$("$@" 2>&1 >/dev/null)"; then fail "accepted: $*"; fi
  [[ $(wc -l <<<"$err") -eq 1 && "$err" == *"$text"* ]] || fail "$*: said '$err', not '$text'"
}

export VORLAN="$build/vorlan/vorlan"
# A table folder whose name is a space and shell code: it must reach the rows
# as data (the code would create INJECTED in the working folder).
odd="a b;touch INJECTED;x"

echo "extras: vorlan-plan refuses a bad table before any folder"
# The message (the second line of the fatal report) names what is wrong.
plan_refused() {  # text options...
  local text="$1"; shift
  if "$build/vorlan/vorlan-plan" --table "$work/no" "$@" 2>"$work/err" >/dev/null; then
    fail "vorlan-plan accepted $*"
  fi
  [[ $(sed -n 2p "$work/err") == *"$text"* ]] || fail "vorlan-plan $*: said '$(cat "$work/err")'"
}
table=(--hub-height 40 --rotor-diameter 40 --time 16)
plan_refused "--speeds: '8abc' is not a positive number" --speeds 8abc --seeds -1 "${table[@]}"
plan_refused "--seeds: the seed -1 comes twice in '-1,-1': list each seed once" --speeds 8 --seeds -1,-1 "${table[@]}"
plan_refused "D" --speeds 8 --seeds -1 --class D "${table[@]}"
plan_refused "reaches the ground" --speeds 8 --seeds -1 --hub-height 10 --rotor-diameter 40 --time 16
[[ ! -e "$work/no" ]] || fail "vorlan-plan made a folder for a refused table"

echo "extras: batch table with GNU parallel"
if command -v parallel >/dev/null; then
  mkdir -p "$work/par"
  plan_table "$work/par/$odd"
  cp "$root/examples/InflowWind.dat" "$work/par/IfW.dat"
  # VORLAN and the template relative to the folder the batch starts in, not the rows'.
  (cd "$work/par" && VORLAN="$(realpath --relative-to=. "$VORLAN")" \
    "$root/examples/batch/run_parallel.sh" "$odd" --jobs 2 -- --layout inflowwind \
    --openfast-template IfW.dat) || fail "run_parallel.sh"
  check_rows "$work/par/$odd" v8_s1 v8_s2 v12_s1 v12_s2
  [[ ! -e "$work/par/INJECTED" ]] || fail "the table folder's name ran as shell code"
  grep -q '"layout": "inflowwind"' "$work/par/$odd/v12_s2/v12_s2_u.bin.json" || fail "vorlan options not passed"
  grep -q '"v12_s2_u.bin" *FileName_u' "$work/par/$odd/v12_s2/v12_s2_u_IfW.dat" \
    || fail "the template of the batch's folder was not filled in the row"
  # A broken row: named on the terminal with vorlan's message, status 1.
  echo "iek" >"$work/par/$odd/v8_s2/box.inp"
  if err="$("$root/examples/batch/run_parallel.sh" "$work/par/$odd" --jobs 2 2>&1 >/dev/null)"; then
    fail "run_parallel.sh succeeded with a broken row"
  fi
  grep -q "row .*/v8_s2 failed (status 1): .*" <<<"$err" || fail "the broken row was not named: $err"
  grep -q "1 of 4 rows failed" <<<"$err" || fail "no count of the failed rows: $err"
else
  echo "extras: skipped: GNU parallel is not installed"
fi

echo "extras: Slurm array script as plain bash, task 3"
mkdir -p "$work/slurm"
plan_table "$work/slurm/$odd"
cp "$root/examples/InflowWind.dat" "$work/slurm/IfW.dat"
# The template named relative to the folder the job starts in.
(cd "$work/slurm" && SLURM_ARRAY_TASK_ID=3 bash "$root/examples/batch/slurm_array.sh" "$odd" \
  --format bts --openfast-template=IfW.dat --hub-series) || fail "slurm_array.sh"
for f in v12_s1.bts v12_s1.hh v12_s1_u_IfW.dat v12_s1_u.bin.summary.txt; do
  [[ -s "$work/slurm/$odd/v12_s1/$f" ]] || fail "task 3 wrote no $f"
done
grep -q '"v12_s1.hh" *FileName_Uni' "$work/slurm/$odd/v12_s1/v12_s1_u_IfW.dat" \
  || fail "task 3's InflowWind input names no hub series"
[[ ! -e "$work/slurm/$odd/v8_s1/v8_s1.bts" ]] || fail "task 3 ran another row"
[[ ! -e "$work/slurm/INJECTED" ]] || fail "the table folder's name ran as shell code"
for task in 0 abc 9; do
  refused "$task" env SLURM_ARRAY_TASK_ID="$task" bash "$root/examples/batch/slurm_array.sh" "$work/slurm/$odd"
done

echo "extras: Debian package"
if command -v dpkg-deb >/dev/null && command -v cpack >/dev/null; then
  (cd "$build" && cpack -B "$work/pkg" >/dev/null) || fail "cpack"
  deb="$(ls "$work"/pkg/*.deb)"
  # A vorlan linked with the NetCDF library needs the package that holds it.
  netcdf_lib="$(ldd "$build/vorlan/vorlan" | awk '/libnetcdf/ {print $3; exit}')"
  if [[ -n "$netcdf_lib" ]]; then
    netcdf_pkg="$(dpkg-query -S "$(readlink -f "$netcdf_lib")" | cut -d: -f1)"
    [[ ", $(dpkg-deb -f "$deb" Depends), " == *", $netcdf_pkg, "* ]] ||
      fail "the package does not depend on $netcdf_pkg, which holds $netcdf_lib"
  fi
  if command -v lintian >/dev/null; then
    # Errors and warnings fail; notes are shown for the record.
    lintian "$deb" >"$work/lintian.txt" 2>&1 || true
    grep -v "running with root privileges" "$work/lintian.txt" || echo "extras: lintian: no tags"
    ! grep -q "^[EW]: " "$work/lintian.txt" || fail "lintian reports errors or warnings"
  else
    echo "extras: skipped lintian: not installed"
  fi
  dpkg-deb -x "$deb" "$work/root"
  bin="$work/root/usr/bin"
  doc="$work/root/usr/share/doc/windfield"
  dpkg-deb -f "$deb" Depends | grep -q libgomp1 || fail "the package does not depend on libgomp1"
  dpkg-deb -c "$deb" | grep -q -e _test -e _tests && fail "the package holds tests"
  for f in README.md NOTICE copyright changelog.Debian.gz docs/openfast.md docs/axes.md docs/run-record.md \
           docs/corvel.md docs/land-table.md docs/constraints.md docs/fit.md examples/README.md \
           examples/loadbox.inp examples/mast.txt examples/sonic.txt examples/spectra.txt \
           examples/terrain.inp examples/terrain_hill.dat examples/InflowWind.dat \
           examples/batch/run_one.sh examples/batch/run_parallel.sh examples/batch/slurm_array.sh; do
    [[ -s "$doc/$f" ]] || fail "the package has no $f under /usr/share/doc/windfield"
  done
  # Machine-readable, and every Files paragraph (the project's own files
  # under Files: *) under Apache-2.0.
  [[ "$(head -n 1 "$doc/copyright")" == "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]] \
    || fail "the copyright file is not in the machine-readable format"
  awk 'BEGIN { RS = "" } /^Files:/ { n++; if (!/\nLicense: Apache-2.0(\n|$)/) bad = 1 }
       /^Files: \*\n/ { all = 1 } END { exit !(n && all && !bad) }' "$doc/copyright" \
    || fail "the copyright file does not put every path under Apache-2.0"
  [[ "$(zcat "$doc/changelog.Debian.gz" | head -n 1)" == "windfield ($(dpkg-deb -f "$deb" Version))"* ]] \
    || fail "the changelog's latest entry is not the package's version"
  for p in vorlan vorlan-plan corvel corvel-fit; do
    "$bin/$p" --version | grep -Eq "^$p [0-9]+\.[0-9]+\.[0-9]+$" || fail "$p --version"
  done
  for page in vorlan vorlan-plan corvel corvel-fit vorlan-look; do
    zcat "$work/root/usr/share/man/man1/$page.1.gz" | grep -q "/usr/share/doc/windfield/" \
      || fail "the installed $page(1) does not name /usr/share/doc/windfield/"
  done
  mkdir -p "$work/run"
  printf '3\n3\n32 8 8\n64 32 32\nbasic\n0.1 33.6 3.9\n-1\nt_u.bin\nt_v.bin\nt_w.bin\n' >"$work/run/t.inp"
  (cd "$work/run" && "$bin/vorlan" t.inp 2>/dev/null) || fail "installed vorlan on a tiny box"
  [[ $(stat -c %s "$work/run/t_w.bin") -eq $((32 * 8 * 8 * 4)) ]] || fail "installed vorlan's output"
  "$bin/corvel" "$doc/examples/corvel_sigma2.inp" 2>/dev/null | wc -l | grep -qx 4 || fail "installed corvel"
  "$bin/corvel-fit" "$doc/examples/sonic.txt" | grep -q "^basic$" || fail "installed corvel-fit"
  # The Python module where the package holds it: Python's own path once
  # installed (here the unpacked tree's), its interpreter and numpy named in
  # Depends; vorlan-look runs over it.
  site="$work/root/usr/lib/python3/dist-packages"
  if [[ -d "$site/windfield" ]]; then
    depends="$(dpkg-deb -f "$deb" Depends)"
    [[ "$depends" == *"python3 (>="* && "$depends" == *"python3-numpy"* ]] \
      || fail "the package holds the Python module but does not depend on python3 and python3-numpy"
    PYTHONPATH="$site" "$python" -c 'import windfield, sys; sys.exit(not windfield.__file__.startswith(sys.argv[1]))' \
      "$site" || fail "the installed Python module does not import"
    if "$python" -c 'import numpy, matplotlib' 2>/dev/null; then
      [[ -f "$work/run/t_u.bin.json" ]] || fail "installed vorlan wrote no run record"
      (cd "$work/run" && PATH=/usr/bin:/bin PYTHONPATH="$site" "$bin/vorlan-look" t_u.bin.json -o t.png >/dev/null) \
        || fail "installed vorlan-look"
      [[ -s "$work/run/t.png" && -s "$work/run/t.spectra.json" ]] || fail "vorlan-look's picture"
    else
      echo "extras: skipped vorlan-look: python3-numpy or python3-matplotlib missing"
    fi
  else
    echo "extras: skipped the Python module and vorlan-look: the build has no module"
  fi
else
  echo "extras: skipped: dpkg-deb or cpack missing"
fi
echo "extras: all passed"
