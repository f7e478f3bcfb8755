#!/usr/bin/env bash
# Writes the parameter files of a load-case table: every wind speed with every
# seed, one folder per row, and OUTDIR/table.txt listing the row folders, one
# per line (row n of the table is line n: what run_parallel.sh and
# slurm_array.sh run).
#
# Usage: make_table.sh [OPTIONS] OUTDIR
#   --speeds "LIST"     hub-height mean wind speeds in m/s   (default "8 12 16")
#   --seeds "LIST"      negative seeds                        (default "-1 -2 -3")
#   --iec CATEGORY      IEC turbulence category A, B, C or a reference
#                       intensity Iref (default A), with
#   --hub Z             hub height in m                       (default 90)
#   --basic "a L G"     use these alphaeps, L and Gamma for every row instead
#                       of the iec source (the speed then sets only the length)
#   --grid "N1 N2 N3"   grid points                           (default "4096 32 32")
#   --width "L2 L3"     box size across and up in m           (default "180 180")
#   --duration T        seconds of wind in the box along the wind: its length
#                       is speed * T                          (default 600)
#
# Each row folder holds box.inp, whose outputs box_u.bin, box_v.bin,
# box_w.bin (and the run record box_u.bin.json) land in the same folder when
# vorlan runs there.
set -euo pipefail

speeds="8 12 16" seeds="-1 -2 -3" iec=A hub=90 basic="" grid="4096 32 32"
width="180 180" duration=600
die() { echo "make_table.sh: $*" >&2; exit 1; }
while [[ $# -gt 0 ]]; do
  case "$1" in
    --speeds) speeds="$2"; shift 2 ;;
    --seeds) seeds="$2"; shift 2 ;;
    --iec) iec="$2"; shift 2 ;;
    --hub) hub="$2"; shift 2 ;;
    --basic) basic="$2"; shift 2 ;;
    --grid) grid="$2"; shift 2 ;;
    --width) width="$2"; shift 2 ;;
    --duration) duration="$2"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) break ;;
  esac
done
[[ $# -eq 1 ]] || die "give one output folder (see --help)"
out="$1"
[[ -n "$basic" && $(wc -w <<<"$basic") -ne 3 ]] && die "--basic needs three values: alphaeps L Gamma"
for s in $seeds; do [[ "$s" =~ ^-[0-9]+$ && "$s" != -0 ]] || die "seed $s is not a negative integer"; done
for v in $speeds; do
  awk -v v="$v" 'BEGIN { exit !(v + 0 > 0) }' || die "speed $v is not positive"
done

mkdir -p "$out"
: >"$out/table.txt"
for v in $speeds; do
  length=$(awk -v v="$v" -v t="$duration" 'BEGIN { printf "%g", v * t }')
  for s in $seeds; do
    row="v${v}_s${s#-}"
    mkdir -p "$out/$row"
    {
      echo 3
      echo 3
      echo "$grid"
      echo "$length $width"
      if [[ -n "$basic" ]]; then
        echo basic
        echo "$basic"
      else
        echo iec
        echo "$iec $v $hub"
      fi
      echo "$s"
      echo box_u.bin
      echo box_v.bin
      echo box_w.bin
    } >"$out/$row/box.inp"
    echo "$row" >>"$out/table.txt"
  done
done
echo "$(wc -l <"$out/table.txt") rows in $out/table.txt"
