#!/usr/bin/env bash
# Checks of tools/install-prerequisites.sh against stand-ins for dpkg-query,
# apt-get, sudo and id on a PATH of their own, so that nothing is installed:
# what a bare machine is given for each group, what counts as installed, how
# apt-get is run (as root, through sudo, or not at all), its failures, and that
# the README's quick start and CI use the script.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
script="$root/tools/install-prerequisites.sh"
bash="$(command -v bash)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "install-prerequisites: FAILED: $*" >&2; exit 1; }

fake="$work/bin"
mkdir -p "$fake"
ln -s "$(command -v env)" "$fake/env"
# FAKE_STATUS holds "package=status" words; every other package is unknown.
cat >"$fake/dpkg-query" <<EOF
#!$bash
pkg="\${!#}"
for entry in \$FAKE_STATUS; do
  [[ "\${entry%%=*}" == "\$pkg" ]] || continue
  s="\${entry#*=}"; s="\${s//_/ }"; printf '%s\n' "\${s//|/\$'\\n'}"; exit 0
done
echo "dpkg-query: no packages found matching \$pkg" >&2
exit 1
EOF
cat >"$fake/apt-get" <<EOF
#!$bash
echo "apt-get \$* as \${FAKE_USER:-root} DEBIAN_FRONTEND=\${DEBIAN_FRONTEND:-}" >>"$work/log"
[[ "\$1" != "\${FAKE_APT_FAILS:-}" ]]
EOF
cat >"$fake/sudo" <<EOF
#!$bash
FAKE_USER=sudo exec "\$@"
EOF
cat >"$fake/id" <<EOF
#!$bash
echo "\${FAKE_UID:-0}"
EOF
chmod +x "$fake"/*

# Runs the script with only the stand-ins on PATH; sets out, err and status.
run() {
  rm -f "$work/log"
  status=0
  out="$(PATH="$fake" "$bash" "$script" "$@" 2>"$work/err")" || status=$?
  err="$(cat "$work/err")"
}
expect() {  # what-for expected-status expected-stdout
  [[ $status -eq $2 && "$out" == "$3" ]] \
    || fail "$1: status $status, printed '$out' (stderr '$err'); expected $2, '$3'"
}
core="g++ cmake make libgtest-dev libgmock-dev nlohmann-json3-dev"

echo "install-prerequisites: a bare machine, by group"
export FAKE_STATUS=""
run --dry-run;                  expect "the core" 0 "would install: $core"
run --dry-run mpi;              expect "mpi" 0 "would install: $core libopenmpi-dev openmpi-bin"
run --dry-run pictures python;  expect "pictures and python" 0 "would install: $core python3-numpy python3-matplotlib"
run --dry-run batch package;    expect "batch, package" 0 "would install: $core parallel lintian"
run --dry-run fuzz bench;       expect "fuzz, bench" 0 "would install: $core clang libclang-rt-dev libfftw3-dev"
run --dry-run all
expect "all" 0 "would install: $core libopenmpi-dev openmpi-bin python3-numpy python3-matplotlib parallel \
lintian libnetcdf-dev libnetcdf-mpi-dev netcdf-bin python3-netcdf4 pybind11-dev python3-dev python3-pytest libfftw3-dev clang \
libclang-rt-dev"
[[ ! -e "$work/log" ]] || fail "--dry-run ran apt-get"

echo "install-prerequisites: only packages dpkg calls installed count"
# Removed with its configuration left, half installed, and installed for one
# of two architectures.
export FAKE_STATUS="g++=install_ok_installed cmake=deinstall_ok_config-files make=install_ok_half-installed \
libgtest-dev=deinstall_ok_config-files|install_ok_installed libgmock-dev=hold_ok_installed"
run --dry-run
expect "mixed states" 0 "would install: cmake make nlohmann-json3-dev"
export FAKE_STATUS=""
for p in $core; do FAKE_STATUS+=" $p=install_ok_installed"; done
run;            expect "nothing missing" 0 ""
[[ ! -e "$work/log" ]] || fail "apt-get ran with nothing missing"
run --dry-run;  expect "nothing missing, dry run" 0 ""

echo "install-prerequisites: apt-get as root, through sudo, or a way out"
run batch
expect "as root" 0 "installing: parallel"
[[ "$(cat "$work/log")" == "apt-get update -q as root DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends parallel as root DEBIAN_FRONTEND=noninteractive" ]] \
  || fail "as root, apt-get ran as: $(cat "$work/log")"
FAKE_UID=1000 run mpi
expect "through sudo" 0 "installing: libopenmpi-dev openmpi-bin"
[[ $(grep -c "as sudo DEBIAN_FRONTEND=noninteractive" "$work/log") -eq 2 ]] \
  || fail "not root, apt-get ran as: $(cat "$work/log")"
mv "$fake/sudo" "$work/sudo"
FAKE_UID=1000 run mpi
expect "neither root nor sudo" 1 ""
[[ "$err" == *"missing: libopenmpi-dev openmpi-bin"* && "$err" == *"run this script as root"* \
   && "$err" == *"apt-get install libopenmpi-dev openmpi-bin"* ]] || fail "neither root nor sudo said: $err"
[[ ! -e "$work/log" ]] || fail "apt-get ran with neither root nor sudo"
mv "$work/sudo" "$fake/sudo"
FAKE_APT_FAILS=update run batch
expect "update fails" 1 "installing: parallel"
[[ "$err" == *"apt-get update failed"* && $(wc -l <"$work/log") -eq 1 ]] || fail "update failed, said: $err"
FAKE_APT_FAILS=install run batch
expect "install fails" 1 "installing: parallel"
[[ "$err" == *"apt-get install failed"*"still missing: parallel"* ]] || fail "install failed, said: $err"

echo "install-prerequisites: unknown groups, no dpkg"
run mpi netcfd
expect "a misspelt group" 1 ""
[[ "$err" == *"unknown group 'netcfd'"*"netcdf"* ]] || fail "a misspelt group said: $err"
rm "$fake/dpkg-query"
run mpi
expect "no dpkg" 0 ""
[[ "$err" == *"not a Debian system"*"$core libopenmpi-dev openmpi-bin" ]] || fail "without dpkg said: $err"

echo "install-prerequisites: the README's quick start and CI use it"
# The quick start's two commands (the two sh blocks after its heading), and
# the README's test command among the commands CI runs.
mapfile -t quick < <(sed -n '/^## Quick start/,/^## /p' "$root/README.md" | sed -n '/^```sh$/{n;p}')
[[ ${#quick[@]} -eq 2 ]] || fail "the quick start does not hold two commands"
for c in "${quick[@]}"; do
  [[ "$c" == "tools/install-prerequisites.sh"*" && "* ]] || fail "a quick-start command sets nothing up: $c"
done
[[ "${quick[0]}" == *"&& build/release/vorlan/vorlan examples/loadbox.inp" ]] || fail "the first command: ${quick[0]}"
[[ "${quick[1]}" == *"&& ctest --preset release" ]] || fail "the second command: ${quick[1]}"
grep -qxF "${quick[1]}" "$root/.ci/run" || fail "CI does not run the README's test command: ${quick[1]}"
echo "install-prerequisites: all passed"
