#!/usr/bin/env bash
# Times the simulator on two three-dimensional boxes and reports the wall time
# and the peak resident memory of each run.
#
#   (a) load box  8192 x 32 x 32, 3 components, LMax 16384 93 93: unequal box
#       lengths, so the cell integrals near the origin run;
#   (b) cube      256 x 256 x 256, 3 components, equal box lengths.
#
# Builds in release mode in build/bench (tests off) and runs in a scratch
# directory under build/bench/runs; the output files are deleted afterwards.
# Usage: bench/run.sh [a|b]...   (default: both)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWIND_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vorlan >/dev/null
vorlan="$build/vorlan/vorlan"

work="$build/runs"
mkdir -p "$work"

write_input() {  # name npoint lmax
  cat >"$work/$1.inp" <<EOF
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
EOF
}

write_input a "8192 32 32" "16384 93 93"
write_input b "256 256 256" "1000 1000 1000"

# Runs one box; prints wall time (s) and peak resident memory (MiB).
run_box() {
  local name="$1" label="$2" log="$work/$1.time"
  cd "$work"
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -v "$vorlan" "$name.inp" 2>"$log" >/dev/null || { cat "$log"; exit 1; }
    local wall rss cpu
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$log")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
    cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {printf "%.2f", s}' "$log")
    # h:mm:ss or m:ss.ss to seconds
    wall=$(awk -v t="$wall" 'BEGIN { n = split(t, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f", s }')
    printf '%-44s wall %8s s   cpu %8s s   peak RSS %8.1f MiB\n' "$label" "$wall" "$cpu" \
      "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
  else
    # Fallback: bash time for the wall clock, the kernel's high-water mark of
    # the child (VmHWM, polled from /proc) for the memory.
    local start end peak=0 pid hwm
    start=$(date +%s.%N)
    "$vorlan" "$name.inp" 2>"$log" >/dev/null &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
      hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
      [[ -n "$hwm" && "$hwm" -gt "$peak" ]] && peak=$hwm
      sleep 0.05
    done
    wait "$pid"
    end=$(date +%s.%N)
    printf '%-44s wall %8.2f s   peak RSS %8.1f MiB (polled)\n' "$label" \
      "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
  fi
  # The fields themselves: 3 components of 4-byte floats.
  local bytes=0 f
  for f in "$name"_u.bin "$name"_v.bin "$name"_w.bin; do bytes=$((bytes + $(stat -c %s "$f"))); done
  printf '%-44s fields %8.1f MiB\n' "" "$(awk -v b="$bytes" 'BEGIN { print b / 1048576 }')"
  rm -f "$name"_u.bin "$name"_v.bin "$name"_w.bin
}

boxes=("$@")
[[ ${#boxes[@]} -eq 0 ]] && boxes=(a b)
for box in "${boxes[@]}"; do
  case "$box" in
    a) run_box a "(a) load box 8192x32x32, LMax 16384 93 93" ;;
    b) run_box b "(b) cube 256x256x256, equal LMax" ;;
    *) echo "unknown box '$box' (a or b)" >&2; exit 2 ;;
  esac
done
