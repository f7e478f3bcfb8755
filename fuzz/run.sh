#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/build.sh) and runs each for a bounded time on
# its committed corpus, one after another, one worker each:
#   fuzz/run.sh [seconds per target, default 30]
# New inputs go to build/fuzz/corpus/<target> (the committed corpus is only
# read); a crash, a leak, a sanitizer report or a hang (-timeout) stops the run
# with status 1 and leaves the input as build/fuzz/<target>-crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
# Absolute paths: the targets work in a scratch folder of their own.
root=$(pwd)
seconds=${1:-30}
fuzz/build.sh

status=0
for target in vorlan_input corvel_input terrain_file; do
  work=$root/build/fuzz/corpus/$target
  mkdir -p "$work"
  echo "== $target: $seconds s"
  if ! build/fuzz/fuzz/${target}_fuzz "$work" "$root/fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$root/build/fuzz/$target-" 2>build/fuzz/$target.log; then
    status=1
    tail -n 60 build/fuzz/$target.log
  fi
  grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)" build/fuzz/$target.log || true
done
exit $status
