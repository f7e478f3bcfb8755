#!/bin/sh
# vorlan-mpi's failures on 3 processes end every rank: the fatal report once,
# a non-zero status, and the folder as it was (an earlier u.bin untouched, no
# temporaries, an earlier u.nc untouched). Usage: vorlan_mpi_failure_test.sh MPIEXEC VORLAN_MPI
set -u
mpiexec=$1 program=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
fail() { echo "FAIL: $*"; cat err.txt; exit 1; }

# expect MESSAGE ARGS...: the run fails with MESSAGE reported once (with
# GREP=-E, MESSAGE is an extended regular expression for the whole line).
expect() {
  message=$1
  shift
  "$mpiexec" -np 3 --oversubscribe "$program" "$@" >out.txt 2>err.txt && fail "$* succeeded"
  [ "$(grep -c 'Numerical Recipes run-time error\.\.\.$' err.txt)" = 1 ] || fail "$*: not one report"
  grep -qx "${GREP:--F}" -e "$message" err.txt || fail "$*: no line '$message'"
  [ "$(cat u.bin)" = old ] || fail "$*: u.bin changed"
  [ "$(cat u.nc)" = old ] || fail "$*: u.nc changed"
  [ -z "$(ls -A | grep -v -e '^in.inp$' -e '^u.bin$' -e '^u.nc$' -e '^mast.txt$' -e '^err.txt$' -e '^out.txt$')" ] ||
    fail "$*: left $(ls -A)"
}

printf 'old' >u.bin
printf 'old' >u.nc
# Rank 0 alone cannot create the second file's temporary.
printf '3\n3\n16 8 8\n100 50 40\nbasic\n0.1 33.6 3.9\n-7\nu.bin missing/v.bin w.bin\n' >in.inp
expect 'Could not open output file missing/v.bin: No such file or directory' in.inp
# An option that vorlan does not take either.
expect 'Unknown option --bogus (vorlan --help lists the options)' in.inp --bogus
# Every rank refuses the hand-over's options alike.
expect '--format bts needs --wind-speed for the basic source' in.inp --format bts
# The NetCDF file of a folder that does not exist; a constraint file too short
# for the box.
printf '3\n3\n16 8 8\n100 50 40\nbasic\n0.1 33.6 3.9\n-7\nmissing/u.bin v.bin w.bin\n' >in.inp
expect 'Could not open wind file missing/u.nc: No such file or directory' in.inp --format netcdf
printf '3\n3\n16 8 8\n100 50 40\nbasic\n0.1 33.6 3.9\n-7\nu.bin v.bin w.bin\n' >in.inp
printf 'time u(0,90)\n0 1\n0.5 2\n' >mast.txt
expect 'Constraint file mast.txt: the series end 0.5 s after their first time; the box needs N1 = 16 samples at dt = 0.625 s, times from the first to 9.375 s after it (a duration of N1 dt = 10 s)' in.inp --format netcdf --constraints mast.txt --wind-speed 10 --hub-height 90
# Every rank reaches the same verdict on the input.
printf '1\n1\n1\n64\n100\nbasic\n0.1 33.6 3.9\n-3\nu.bin\n' >in.inp
expect '--random counter: only three-dimensional fields draw from the counter stream; a line or a plane uses the classic stream' in.inp --random counter
# Each process's memory is weighed before any file exists, as vorlan weighs a
# whole run's (not an allocation failure once the files are made).
printf '3\n3\n65536 1024 1024\n1e5 1e3 1e3\nbasic\n0.1 33.6 3.9\n-3\nu.bin v.bin w.bin\n' >in.inp
GREP=-E expect 'The run needs [0-9.e+]+ GiB of memory per process \(its slab of the box, with room for the transpose and an exchange buffer\) on 3 processes, the machine has [0-9.e+]+ GiB for each of its 3 \(.*\): run it on more processes, or on fewer per machine' in.inp
echo "vorlan-mpi failures: passed"
