#!/usr/bin/env bash
# Runs one row of a load-case table: vorlan on ROW/box.inp inside ROW, so that
# the fields and the run record land beside the parameter file. The echo goes
# to ROW/vorlan.log. VORLAN names the program (default: vorlan on PATH) and
# VORLAN_THREADS its thread count (default 1: one row per core).
#
# Usage: run_one.sh ROW_FOLDER
set -euo pipefail
row="$1"
cd "$row"
exec "${VORLAN:-vorlan}" --threads "${VORLAN_THREADS:-1}" box.inp >vorlan.log 2>&1
