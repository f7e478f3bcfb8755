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
# Every value is checked here, before any folder is made: speeds, hub height,
# lengths and duration positive decimal numbers, seeds negative integers (at
# least -2147483648), grid sizes powers of two from 2, the category A, B, C or
# a positive Iref of at most 1 (a fraction: 0.16, not 16), alphaeps positive,
# L at least 0.001 m and Gamma from 0 to 10 (the range of vorlan's model).
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
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    --speeds|--seeds|--iec|--hub|--basic|--grid|--width|--duration)
      [[ $# -ge 2 ]] || die "$1 needs a value"
      case "$1" in
        --speeds) speeds="$2" ;; --seeds) seeds="$2" ;; --iec) iec="$2" ;;
        --hub) hub="$2" ;; --basic) basic="$2" ;; --grid) grid="$2" ;;
        --width) width="$2" ;; --duration) duration="$2" ;;
      esac
      shift 2 ;;
    -*) die "unknown option $1" ;;
    *) break ;;
  esac
done
[[ $# -eq 1 ]] || die "give one output folder (see --help)"
out="$1"

# A decimal number such as 8, 11.4 or .5 (no sign, no exponent), and not zero.
positive() { [[ "$1" =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ && "$1" =~ [1-9] ]]; }
# a <= b for two such numbers.
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a + 0 <= b + 0) }'; }
count() {  # what n values
  local -a words
  read -r -a words <<<"$2"
  [[ ${#words[@]} -eq $3 ]] || die "$1 needs $3 values, not '$2'"
}
for v in $speeds; do positive "$v" || die "speed '$v' is not a positive number (m/s)"; done
[[ -n "${speeds// /}" ]] || die "--speeds lists no speed"
for s in $seeds; do
  [[ "$s" =~ ^-[1-9][0-9]{0,9}$ ]] && (( ${s#-} <= 2147483648 )) \
    || die "seed '$s' is not a negative integer from -1 to -2147483648"
done
[[ -n "${seeds// /}" ]] || die "--seeds lists no seed"
if [[ -n "$basic" ]]; then
  count --basic "$basic" 3
  read -r alphaeps length_scale gamma <<<"$basic"
  positive "$alphaeps" || die "alphaeps '$alphaeps' is not a positive number"
  positive "$length_scale" || die "L '$length_scale' is not a positive number (m)"
  [[ "$gamma" =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ ]] || die "Gamma '$gamma' is not a number from 0 up"
  at_most "$gamma" 10 || die "Gamma '$gamma' is above 10, the model's range"
  at_most 0.001 "$length_scale" || die "L '$length_scale' is below 0.001 m, the model's smallest"
else
  [[ "$iec" =~ ^[ABC]$ ]] || positive "$iec" \
    || die "IEC category '$iec' is not A, B, C or a positive reference intensity Iref"
  [[ "$iec" =~ ^[ABC]$ ]] || at_most "$iec" 1 \
    || die "Iref '$iec' is above 1: it is a fraction (0.16, not 16)"
  positive "$hub" || die "hub height '$hub' is not a positive number (m)"
fi
count --grid "$grid" 3
for n in $grid; do
  [[ "$n" =~ ^[1-9][0-9]{0,9}$ ]] && (( n >= 2 && (n & (n - 1)) == 0 )) \
    || die "grid size '$n' is not a power of two from 2 up"
done
count --width "$width" 2
for w in $width; do positive "$w" || die "width '$w' is not a positive number (m)"; done
positive "$duration" || die "duration '$duration' is not a positive number (s)"

declare -A listed=()
for v in $speeds; do [[ -z "${listed[v$v]:-}" ]] || die "speed $v is listed twice"; listed[v$v]=1; done
for s in $seeds; do [[ -z "${listed[s$s]:-}" ]] || die "seed $s is listed twice"; listed[s$s]=1; done

mkdir -p -- "$out"
: >"$out/table.txt"
for v in $speeds; do
  length=$(awk -v v="$v" -v t="$duration" 'BEGIN { printf "%g", v * t }')
  for s in $seeds; do
    row="v${v}_s${s#-}"
    mkdir -p -- "$out/$row"
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
