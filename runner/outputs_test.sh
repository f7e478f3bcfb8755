#!/bin/sh
# vorlan's outputs when a run does not complete: an earlier run's files stay
# byte for byte and no temporary is left behind.
#
#   outputs_test.sh VORLAN interrupted   SIGTERM while a field is being written
#   outputs_test.sh VORLAN full-disk     a file system too small for the record,
#                                        then for the fields (needs a private
#                                        mount namespace; exit 77 = skipped)
set -u
vorlan=$1
mode=$2

fail() { echo "FAIL: $*" >&2; exit 1; }

# A box of 128 x 16 x 16 points, 8 KiB per component and plane of 16 x 16 ...
# 128 KiB per component: more than a pipe holds.
write_box() {  # file names...
  printf '3\n3\n%s\n%s\nbasic\n0.1 33.6 3.9\n-1\n%s\n%s\n%s\n' "$box_points" "$box_lengths" "$@"
}

# Runs a complete box, and remembers its files as they are.
earlier_run() {
  write_box u.bin v.bin w.bin >box.inp
  "$vorlan" box.inp 2>/dev/null || fail "the first run failed"
  md5sum u.bin v.bin w.bin u.bin.json u.bin.summary.txt >earlier.md5
}

# The earlier files are as they were, and nothing but the listed names is there.
check_unchanged() {  # expected names (sorted, one line)
  md5sum -c --quiet earlier.md5 || fail "$mode: an earlier file changed"
  names=$(ls -A | tr '\n' ' ')
  [ "$names" = "$1" ] || fail "$mode: the folder holds '$names', expected '$1'"
}

case $mode in
  interrupted)
    work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
    box_points="128 16 16" box_lengths="128 40 40"
    earlier_run
    # The third output is a FIFO: vorlan opens it when it creates its outputs
    # and then blocks writing it, after u and v are complete, until it is read.
    mkfifo w.fifo
    write_box u.bin v.bin w.fifo >fifo.inp
    "$vorlan" fifo.inp 2>/dev/null &
    pid=$!
    exec 3<w.fifo
    head -c 4096 <&3 >/dev/null  # w is being written: vorlan is in its last stage
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    exec 3<&-
    [ "$status" -eq 143 ] || fail "killed by SIGTERM, vorlan exited with $status, not 143"
    check_unchanged "box.inp earlier.md5 fifo.inp u.bin u.bin.json u.bin.summary.txt v.bin w.bin w.fifo "
    ;;

  full-disk)
    if [ "${OUTPUTS_TEST_NAMESPACE:-}" != 1 ]; then
      # A mount namespace of its own, so that the small file system vanishes
      # with the test whatever happens.
      if ! unshare --mount --propagation private true 2>/dev/null; then
        echo "skipped: no private mount namespace for a small file system"
        exit 77
      fi
      OUTPUTS_TEST_NAMESPACE=1 exec unshare --mount --propagation private sh "$0" "$@"
    fi
    disk=$(mktemp -d) && err=$(mktemp) || exit 1
    trap 'cd / && umount "$disk" 2>/dev/null; rmdir "$disk"; rm -f "$err"' EXIT
    if ! mount -t tmpfs -o size=64k tmpfs "$disk" 2>/dev/null; then
      echo "skipped: cannot mount a small file system"
      exit 77
    fi
    cd "$disk" || exit 1
    box_points="16 8 8" box_lengths="16 24 24"  # 4 KiB per component: one page
    earlier_run
    # Fill the rest, then free three pages: room for the fields, not the record.
    dd if=/dev/zero of=filler bs=4096 2>/dev/null
    pages=$(($(stat -c %s filler) / 4096))
    dd if=/dev/zero of=filler bs=4096 count=$((pages - 3)) 2>/dev/null
    "$vorlan" box.inp 2>"$err" && fail "a run with no room for its record succeeded"
    grep -qx "Could not write the run record u.bin.json: No space left on device" "$err" ||
      fail "full disk, record: $(cat "$err")"
    check_unchanged "box.inp earlier.md5 filler u.bin u.bin.json u.bin.summary.txt v.bin w.bin "
    # One free page: room for the first field only.
    dd if=/dev/zero of=filler bs=4096 count=$((pages - 1)) 2>/dev/null
    "$vorlan" box.inp 2>"$err" && fail "a run with no room for its fields succeeded"
    grep -qx "Could not write output file v.bin: No space left on device" "$err" ||
      fail "full disk, fields: $(cat "$err")"
    check_unchanged "box.inp earlier.md5 filler u.bin u.bin.json u.bin.summary.txt v.bin w.bin "
    ;;
  *) fail "unknown mode $mode" ;;
esac
