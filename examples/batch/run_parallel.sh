#!/usr/bin/env bash
# Runs every row of a load-case table (make_table.sh) with GNU parallel, on
# this machine or over ssh hosts. Extra arguments go to parallel, e.g.
#
#   run_parallel.sh cases                          # one row per core here
#   run_parallel.sh cases --jobs 2                 # two rows at a time
#   run_parallel.sh cases --sshlogin :,4/node1,4/node2
#                                                  # here and 4 rows on each of
#                                                  # node1 and node2
#
# Over ssh the table folder and this folder must be at the same absolute
# path on every host (a shared file system), with vorlan on each host's PATH
# (or VORLAN set there). parallel's job log goes to TABLE/joblog; a failed row
# shows a non-zero exit value there and in parallel's own exit status, and
# `run_parallel.sh cases --resume-failed` runs the failed rows again.
#
# Usage: run_parallel.sh TABLE_FOLDER [PARALLEL_OPTIONS...]
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: run_parallel.sh TABLE_FOLDER [PARALLEL_OPTIONS...]" >&2; exit 1; }
command -v parallel >/dev/null || { echo "run_parallel.sh: GNU parallel is not installed (apt-get install parallel)" >&2; exit 1; }
table="$(cd "$1" && pwd)"
shift
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[[ -s "$table/table.txt" ]] || { echo "run_parallel.sh: no rows in $table/table.txt" >&2; exit 1; }
exec parallel --will-cite --joblog "$table/joblog" --env VORLAN --env VORLAN_THREADS "$@" \
  "$here/run_one.sh" "$table/{}" :::: "$table/table.txt"
