#!/usr/bin/env bash
# Prints the md5 of every file that the examples and both benchmark boxes
# write, and of every spectrum-calculator example's standard output. Two runs
# of this script before and after a change must print the same lines: the
# programs are reproducible bit for bit.
#
# Usage: tools/checksums.sh [BUILD_DIR]   (default build/release)
#   Extra vorlan arguments can be passed in VORLAN_ARGS (e.g. a thread count).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
[[ "$build" = /* ]] || build="$root/$build"
vorlan="$build/vorlan/vorlan"
corvel="$build/corvel/corvel"
[[ -x "$vorlan" && -x "$corvel" ]] || { echo "build the programs first ($build)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$root"

# Runs vorlan in the scratch folder so that every output lands there; the
# parameter file is copied in, with the terrain file it names.
run_vorlan() {  # name input-file
  local name="$1" inp="$2" out="$work/$1"
  mkdir -p "$out/examples"
  cp "$inp" "$out/in.inp"
  cp examples/terrain_hill.dat "$out/examples/"
  (cd "$out" && "$vorlan" in.inp ${VORLAN_ARGS:-} >stdout.txt 2>stderr.txt) \
    || { echo "vorlan failed on $inp" >&2; cat "$out/stderr.txt" >&2; exit 1; }
  (cd "$out" && for f in *.bin stdout.txt stderr.txt; do
     [[ -e "$f" ]] && printf '%s  %s/%s\n' "$(md5sum <"$f" | cut -d' ' -f1)" "$name" "$f"
   done)
  rm -rf "$out"
}

for inp in examples/*.inp; do
  base="$(basename "$inp" .inp)"
  case "$base" in
    corvel_*)
      "$corvel" "$inp" >"$work/c.out" 2>"$work/c.err" \
        || { echo "corvel failed on $inp" >&2; exit 1; }
      printf '%s  %s/stdout\n' "$(md5sum <"$work/c.out" | cut -d' ' -f1)" "$base"
      printf '%s  %s/stderr\n' "$(md5sum <"$work/c.err" | cut -d' ' -f1)" "$base"
      ;;
    *) run_vorlan "$base" "$inp" ;;
  esac
done

# The two benchmark boxes (see bench/run.sh).
bench_box() {  # name npoint lmax
  cat >"$work/$1.inp" <<EOB
3
3
$2
$3
basic
0.1 33.6 3.9
-1
$1_u.bin
$1_v.bin
$1_w.bin
EOB
  run_vorlan "$1" "$work/$1.inp"
}
bench_box bench_a "8192 32 32" "16384 93 93"
bench_box bench_b "256 256 256" "1000 1000 1000"

# The hand-over formats and options on the iec example: wind files, scaling,
# layouts, streams, seeds, constraints and a filled InflowWind input. Records
# and the filled input name the folder they were written in: that folder is
# replaced by WORK before the checksum.
handover() {  # name vorlan-options...
  local name="$1" out="$work/$1"; shift
  mkdir -p "$out"
  cp examples/iec.inp "$out/in.inp"
  cp examples/mast.txt "$work/template.dat" "$out/"
  (cd "$out" && "$vorlan" in.inp "$@" >stdout.txt 2>stderr.txt) \
    || { echo "vorlan failed with $*" >&2; cat "$out/stderr.txt" >&2; exit 1; }
  rm -f "$out/in.inp" "$out/mast.txt" "$out/template.dat"
  (cd "$out" && for f in *; do
     printf '%s  %s/%s\n' "$(sed "s|$out|WORK|g; s|$root|ROOT|g" "$f" | md5sum | cut -d' ' -f1)" "$name" "$f"
   done)
  rm -rf "$out"
}
cat >"$work/template.dat" <<'EOT'
------- InflowWind input ---------------------------------------------------
Checksum fixture
----------------------------------------------------------------------------
False         Echo           - Echo input data to <RootName>.ech (flag)
          1   WindType       - 1 steady, 2 uniform, 3 .bts, 4 .wnd, 5 raw grid files
          0   PropagationDir - Direction of wind propagation (degrees)
          0   VFlowAng       - Upflow angle (degrees)
          1   NWindVel       - Number of points to output the wind velocity
          0   WindVxiList    - List of x coordinates (m)
          0   WindVyiList    - List of y coordinates (m)
         90   WindVziList    - List of z coordinates (m)
================== Steady wind [used only for WindType = 1] ================
        8.0   HWindSpeed     - Horizontal wind speed (m/s)
         90   RefHt          - Reference height for the horizontal wind speed (m)
        0.2   PLExp          - Power-law exponent (-)
================== Uniform wind file [used only for WindType = 2] ==========
"unused"      FileName_Uni   - Uniform wind time series
         90   RefHt_Uni      - Reference height for the horizontal wind speed (m)
      125.9   RefLength      - Reference length for linear shear (m)
================== Full-field .bts file [used only for WindType = 3] =======
"unused"      FileName_BTS   - Full-field binary file (.bts)
================== Full-field .wnd file [used only for WindType = 4] =======
"unused"      FileNameRoot   - Root name of the .wnd and .sum files
False         TowerFile      - Have a tower file (.twr) (flag)
================== Raw grid files [used only for WindType = 5] =============
"u.bin"       FileName_u     - File of the u component
"v.bin"       FileName_v     - File of the v component
"w.bin"       FileName_w     - File of the w component
         64   nx             - Points along x (-)
         32   ny             - Points along y (-)
         32   nz             - Points along z (-)
         16   dx             - Spacing along x (m)
          3   dy             - Spacing along y (m)
          3   dz             - Spacing along z (m)
         90   RefHt_Grid     - Height of the grid's middle (m)
  -------------   Scaling of the turbulence   ------------------------------
          0   ScaleMethod    - 0 none, 1 direct, 2 to a standard deviation
          1   SFx            - Factor for u (-)
          1   SFy            - Factor for v (-)
          1   SFz            - Factor for w (-)
          1   SigmaFx        - Standard deviation of u (m/s)
          1   SigmaFy        - Standard deviation of v (m/s)
          1   SigmaFz        - Standard deviation of w (m/s)
  -------------   Mean wind profile   --------------------------------------
         12   URef           - Mean u at the reference height (m/s)
          2   WindProfile    - Profile type (constant, logarithmic, power law)
        0.2   PLExp_Grid     - Power-law exponent (-)
       0.03   Z0             - Roughness length (m)
          0   XOffset        - Offset of the box along +x (m)
====================== OUTPUT ==============================================
False         SumPrint       - Print a summary file (flag)
              OutList        - Output channels
"Wind1VelX"                  - Wind velocity at point 1
END of input file (the word "END" must appear in the first 3 columns of this last OutList line)
----------------------------------------------------------------------------
EOT
handover raw_template --openfast-template template.dat
handover raw_inflowwind --layout inflowwind --scale iec --openfast-template template.dat
handover bts_scaled --format bts --scale iec --openfast-template template.dat
handover bts_log --format bts --profile log:0.03 --grid-bottom 40
handover wnd_power --format wnd --profile power:0.14 --openfast-template template.dat
handover counter --random counter --threads 2
handover seeds --seeds -3,-7
handover constrained --constraints mast.txt --format bts
handover constrained_raw --constraints mast.txt --layout inflowwind
