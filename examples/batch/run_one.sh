#!/usr/bin/env bash
# Runs one row of a load-case table (vorlan-plan --table): vorlan on
# ROW/box.inp inside ROW, so that the fields and the run record land beside
# the parameter file. vorlan's echo and messages go to ROW/vorlan.log; a
# failed row prints one line on standard error, the row and the message its
# log ends with, and exits with vorlan's status.
#
# VORLAN names the program (default: vorlan on PATH); a name with a slash is
# taken from the folder this script was started in, not the row's. OPTIONS go
# to vorlan before the file (--layout inflowwind, --threads N, ...); without
# --threads among them the row gets --threads VORLAN_THREADS (default 1: one
# row per core). The options that name a file (--openfast-template FILE,
# --constraints FILE, also as --name=FILE) are taken from the folder this
# script was started in too: a relative name is made absolute before the row
# runs in its own folder.
#
# Usage: run_one.sh ROW_FOLDER [VORLAN_OPTIONS...]
#        run_one.sh --which-vorlan    prints the program VORLAN names, as an
#                                     absolute path where it has a slash, or
#                                     fails with one line saying why
#        run_one.sh --absolute-options VORLAN_OPTIONS...
#                                     prints the options, each ended by a NUL
#                                     byte, with the files they name absolute
set -euo pipefail
# --help or -h prints the comment above.
if [[ "${1:-}" == --help || "${1:-}" == -h ]]; then
  sed -n '2,/^set -euo/p' "$0" | sed '/^#SBATCH/d; $d; s/^# \{0,1\}//'
  exit 0
fi

# The options with every file they name made absolute from here, each ended
# by a NUL byte.
absolute_options() {
  local option file=""
  absolute() { if [[ "$1" == /* || -z "$1" ]]; then printf '%s' "$1"; else printf '%s' "$PWD/$1"; fi; }
  for option in "$@"; do
    if [[ -n "$file" ]]; then
      printf '%s\0' "$(absolute "$option")"
      file=""
      continue
    fi
    case "$option" in
      --openfast-template|--constraints) file=1; printf '%s\0' "$option" ;;
      --openfast-template=*|--constraints=*) printf '%s\0' "${option%%=*}=$(absolute "${option#*=}")" ;;
      *) printf '%s\0' "$option" ;;
    esac
  done
}

which_vorlan() {
  local v="${VORLAN:-vorlan}"
  if [[ "$v" == */* ]]; then
    [[ "$v" == /* ]] || v="$PWD/$v"
    [[ -f "$v" && -x "$v" ]] || { echo "run_one.sh: VORLAN=$VORLAN is not an executable file" >&2; return 1; }
  else
    command -v -- "$v" >/dev/null \
      || { echo "run_one.sh: $v is not on PATH: install it or set VORLAN to the program" >&2; return 1; }
  fi
  printf '%s\n' "$v"
}

[[ $# -ge 1 ]] || { echo "usage: run_one.sh ROW_FOLDER [VORLAN_OPTIONS...]" >&2; exit 1; }
if [[ "$1" == --which-vorlan ]]; then
  which_vorlan
  exit
fi
if [[ "$1" == --absolute-options ]]; then
  shift
  absolute_options "$@"
  exit
fi
row="$1"
shift
vorlan="$(which_vorlan)"
threads=(--threads "${VORLAN_THREADS:-1}")
for option in "$@"; do
  [[ "$option" == --threads || "$option" == --threads=* ]] && threads=()
done
options=()
[[ $# -eq 0 ]] || mapfile -d '' options < <(absolute_options "$@")
cd -- "$row" 2>/dev/null || { echo "run_one.sh: row $row: no such folder" >&2; exit 1; }
status=0
"$vorlan" "${threads[@]}" "${options[@]}" box.inp >vorlan.log 2>&1 || status=$?
if [[ $status -ne 0 ]]; then
  # vorlan's fatal report ends with a fixed trailer: the line before it says
  # what was wrong.
  message="$(grep -v -x -F '...now exiting to system...' vorlan.log | tail -n 1)"
  echo "run_one.sh: row $row failed (status $status): ${message:-no message}; see $row/vorlan.log" >&2
fi
exit "$status"
