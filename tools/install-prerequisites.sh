#!/usr/bin/env bash
# Installs the Debian packages that this machine lacks for building, testing
# and running windfield, without asking anything:
#
#   tools/install-prerequisites.sh [--dry-run] [GROUP...]
#
# The core (compiler, CMake, make, GoogleTest and the JSON library) always;
# each GROUP adds the packages of one extra, and only the command that needs
# an extra names its group:
#   mpi              Open MPI: vorlan-mpi and the tests across processes
#   python, pictures numpy and matplotlib: vorlan-look and its test
#   batch            GNU parallel: the batch recipes
#   package          lintian: the check of the Debian package
#   netcdf           the NetCDF library (serial for vorlan, parallel for
#                    vorlan-mpi), its tools and its Python module
#   pymodule         pybind11, Python's headers and pytest: the Python module
#   bench            FFTW 3: the floor of the benchmarks
#   fuzz             clang and its libFuzzer run-time: the fuzz targets
#   all              every group
# A package is present when dpkg says it is installed. The absent ones are
# named on one line ("installing: ...") and installed by apt-get, as root or
# through sudo; when nothing is absent nothing is printed. --dry-run prints
# "would install: ..." instead and installs nothing. Ends with status 1 and a
# message when a group is unknown, when neither root nor sudo can install, or
# when apt-get fails. On a system without dpkg it only names the packages to
# look for and lets the build report what is missing.
set -euo pipefail
me="tools/install-prerequisites.sh"

groups=(mpi python batch package netcdf pymodule bench fuzz)
packages_of() {  # group
  case "$1" in
    core)            echo g++ cmake make libgtest-dev libgmock-dev nlohmann-json3-dev ;;
    mpi)             echo libopenmpi-dev openmpi-bin ;;
    python|pictures) echo python3-numpy python3-matplotlib ;;
    batch)           echo parallel ;;
    package)         echo lintian ;;
    netcdf)          echo libnetcdf-dev libnetcdf-mpi-dev netcdf-bin python3-netcdf4 ;;
    pymodule)        echo pybind11-dev python3-dev python3-pytest ;;
    bench)           echo libfftw3-dev ;;
    fuzz)            echo clang libclang-rt-dev ;;
    *)               return 1 ;;
  esac
}

dry_run=0
wanted=(core)
for arg in "$@"; do
  case "$arg" in
    --dry-run) dry_run=1 ;;
    all) wanted+=("${groups[@]}") ;;
    *)
      if ! packages_of "$arg" >/dev/null; then
        echo "$me: unknown group '$arg'; the groups are: ${groups[*]} pictures all" >&2
        exit 1
      fi
      wanted+=("$arg") ;;
  esac
done

# Each package once, in the order the groups name them.
declare -A seen=()
list=()
for group in "${wanted[@]}"; do
  for p in $(packages_of "$group"); do
    [[ -n "${seen[$p]:-}" ]] || { seen[$p]=1; list+=("$p"); }
  done
done

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "$me: no dpkg here (not a Debian system): make sure the equivalents of these are installed: ${list[*]}" >&2
  exit 0
fi

# dpkg-query prints one status per installed architecture; any installed one
# will do.
installed() {  # package
  local status
  status="$(dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null)" || return 1
  [[ "$status"$'\n' == *" installed"$'\n'* ]]
}

need=()
for p in "${list[@]}"; do
  installed "$p" || need+=("$p")
done
[[ ${#need[@]} -gt 0 ]] || exit 0
if [[ $dry_run -eq 1 ]]; then
  echo "would install: ${need[*]}"
  exit 0
fi

if [[ "$(id -u)" -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "$me: these Debian packages are missing: ${need[*]}" >&2
  echo "$me: installing them needs root, and sudo is not installed: run this script as root," >&2
  echo "$me: or as root: apt-get install ${need[*]}" >&2
  exit 1
fi

echo "installing: ${need[*]}"
apt_get() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }
if ! apt_get update -q; then
  echo "$me: apt-get update failed (see above); nothing was installed" >&2
  exit 1
fi
if ! apt_get install -y -q --no-install-recommends "${need[@]}"; then
  echo "$me: apt-get install failed (see above); still missing: ${need[*]}" >&2
  exit 1
fi
