#!/usr/bin/env bash
# Slurm job array over a load-case table (make_table.sh): array task n runs
# row n (line n of TABLE/table.txt), writing its fields, run record and log
# into that row's folder. Submit one task per row:
#
#   sbatch --array=1-$(wc -l < cases/table.txt) examples/batch/slurm_array.sh cases
#
# (add %K to the range, e.g. 1-60%10, to run at most K rows at a time). Each
# task asks for one core by default; with --cpus-per-task=C vorlan uses C
# threads. The script runs as plain bash too, with SLURM_ARRAY_TASK_ID set by
# hand, for a test of one row.
#SBATCH --job-name=vorlan
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --time=00:30:00
#SBATCH --output=slurm-%A_%a.out
set -euo pipefail
[[ $# -eq 1 ]] || { echo "usage: slurm_array.sh TABLE_FOLDER" >&2; exit 1; }
: "${SLURM_ARRAY_TASK_ID:?not an array task: submit with sbatch --array, or set it by hand}"
table="$1"
row="$(sed -n "${SLURM_ARRAY_TASK_ID}p" "$table/table.txt")"
[[ -n "$row" ]] || { echo "slurm_array.sh: no row ${SLURM_ARRAY_TASK_ID} in $table/table.txt" >&2; exit 1; }
# Under sbatch the script itself is a copy in Slurm's spool: find run_one.sh
# from where the job was submitted, else beside this file.
here="${SLURM_SUBMIT_DIR:+$SLURM_SUBMIT_DIR/examples/batch}"
[[ -n "$here" && -x "$here/run_one.sh" ]] || here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export VORLAN_THREADS="${SLURM_CPUS_PER_TASK:-1}"
exec "$here/run_one.sh" "$table/$row"
