#!/usr/bin/env bash
# Slurm job array over a load-case table (vorlan-plan --table): array task n runs
# row n (line n of TABLE/table.txt), writing its fields, run record and log
# into that row's folder. Submit one task per row:
#
#   sbatch --array=1-$(wc -l < cases/table.txt) examples/batch/slurm_array.sh cases
#   sbatch --array=1-12 examples/batch/slurm_array.sh cases --layout inflowwind
#
# (arguments after the table go to vorlan; add %K to the range, e.g.
# 1-60%10, to run at most K rows at a time). vorlan options that name a file
# (--openfast-template, --constraints) are taken from the folder the job was
# submitted from (Slurm starts the job there), not the row's. Each task asks for one core by
# default; with --cpus-per-task=C vorlan uses C threads. VORLAN (default:
# vorlan on PATH) may be relative to the folder the job was submitted from. A
# failed row prints its message into the task's slurm-*.out and the task
# fails. The script runs as plain bash too, with SLURM_ARRAY_TASK_ID set by
# hand, for a test of one row.
#SBATCH --job-name=vorlan
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --time=00:30:00
#SBATCH --output=slurm-%A_%a.out
set -euo pipefail
die() { echo "slurm_array.sh: $*" >&2; exit 1; }
# --help or -h prints the comment above.
if [[ "${1:-}" == --help || "${1:-}" == -h ]]; then
  sed -n '2,/^set -euo/p' "$0" | sed '/^#SBATCH/d; $d; s/^# \{0,1\}//'
  exit 0
fi
[[ $# -ge 1 ]] || die "usage: slurm_array.sh TABLE_FOLDER [VORLAN_OPTIONS...]"
table="$1"
shift
task="${SLURM_ARRAY_TASK_ID:-}"
[[ -n "$task" ]] || die "not an array task: submit with sbatch --array, or set SLURM_ARRAY_TASK_ID by hand"
[[ "$task" =~ ^[1-9][0-9]{0,8}$ ]] || die "SLURM_ARRAY_TASK_ID '$task' is not a row number (1, 2, ...)"
[[ -s "$table/table.txt" ]] || die "no rows in $table/table.txt"
row="$(sed -n "${task}p" "$table/table.txt")"
[[ -n "$row" ]] || die "no row $task in $table/table.txt ($(grep -c . "$table/table.txt") rows)"

# Under sbatch the script itself is a copy in Slurm's spool: run_one.sh is
# looked for under the submission folder (a source tree), beside this file
# (plain bash), then beside the installed documents of vorlan's package.
installed=""
if program="$(command -v -- "${VORLAN:-vorlan}")"; then
  installed="$(dirname -- "$program")/../share/doc/windfield/examples/batch"
fi
for here in "${SLURM_SUBMIT_DIR:+$SLURM_SUBMIT_DIR/examples/batch}" \
            "$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)" "$installed"; do
  [[ -n "$here" && -x "$here/run_one.sh" ]] && break
  here=""
done
[[ -n "$here" ]] || die "cannot find run_one.sh (submit from the source tree, or install the package)"
VORLAN="$("$here/run_one.sh" --which-vorlan)" || exit 1
export VORLAN VORLAN_THREADS="${SLURM_CPUS_PER_TASK:-1}"
exec "$here/run_one.sh" "$table/$row" "$@"
