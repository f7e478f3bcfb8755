#!/usr/bin/env bash
# Runs every row of a load-case table (vorlan-plan --table) with GNU parallel, on
# this machine or over ssh hosts. Arguments after the table go to parallel;
# arguments after -- go to vorlan in every row, e.g.
#
#   run_parallel.sh cases                          # one row per core here
#   run_parallel.sh cases --jobs 2                 # two rows at a time
#   run_parallel.sh cases --sshlogin :,4/node1,4/node2
#                                                  # here and 4 rows on each of
#                                                  # node1 and node2
#   run_parallel.sh cases -- --layout inflowwind   # boxes for InflowWind
#   run_parallel.sh cases -- --format bts --openfast-template IfW.dat
#                                                  # IfW.dat of this folder
#
# vorlan options that name a file (--openfast-template, --constraints) are
# taken from the folder this script is started in, as typed there: they are
# made absolute before any row runs in its own folder.
#
# The table's folder and row names reach the rows as data, whatever
# characters they hold. VORLAN (default: vorlan on PATH) is resolved once,
# before any row runs; a relative path is taken from the folder this script
# is started in. Over ssh the table folder, this folder and vorlan must be at
# the same absolute paths on every host (a shared file system).
#
# Each failed row prints one line (the row and the message its vorlan.log
# ends with); at the end a count of the failed rows, and the exit status is 1.
# parallel's job log goes to TABLE/joblog, and
# `run_parallel.sh cases --resume-failed` runs the failed rows again.
#
# Usage: run_parallel.sh TABLE_FOLDER [PARALLEL_OPTIONS...] [-- VORLAN_OPTIONS...]
set -euo pipefail
die() { echo "run_parallel.sh: $*" >&2; exit 1; }
# --help or -h prints the comment above.
if [[ "${1:-}" == --help || "${1:-}" == -h ]]; then
  sed -n '2,/^set -euo/p' "$0" | sed '/^#SBATCH/d; $d; s/^# \{0,1\}//'
  exit 0
fi
[[ $# -ge 1 ]] || die "usage: run_parallel.sh TABLE_FOLDER [PARALLEL_OPTIONS...] [-- VORLAN_OPTIONS...]"
command -v parallel >/dev/null || die "GNU parallel is not installed (apt-get install parallel)"
[[ -d "$1" ]] || die "no table folder $1"
table="$(cd -- "$1" && pwd)"
shift
here="$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)"
[[ -s "$table/table.txt" ]] || die "no rows in $table/table.txt"
parallel_options=()
while [[ $# -gt 0 && "$1" != -- ]]; do
  parallel_options+=("$1")
  shift
done
[[ $# -gt 0 ]] && shift  # the --
VORLAN="$("$here/run_one.sh" --which-vorlan)" || exit 1
export VORLAN
# The files the options name, absolute from here (over ssh a row starts in
# the remote home folder).
vorlan_options=()
[[ $# -eq 0 ]] || mapfile -d '' vorlan_options < <("$here/run_one.sh" --absolute-options "$@")

# -q: the command and every argument, the row's path included, are quoted
# for the shell that parallel starts.
status=0
parallel --will-cite -q --joblog "$table/joblog" --env VORLAN --env VORLAN_THREADS \
  "${parallel_options[@]}" "$here/run_one.sh" "$table/{}" "${vorlan_options[@]}" \
  :::: "$table/table.txt" \
  || status=$?
if [[ $status -ne 0 ]]; then
  rows=$(grep -c . "$table/table.txt")
  failed=$(awk -F'\t' 'NR > 1 && $7 != 0' "$table/joblog" | wc -l)
  die "$failed of $rows rows failed (parallel's status $status); $table/joblog lists them"
fi
