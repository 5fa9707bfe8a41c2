#!/bin/sh
# Peak resident memory of a whole `tarnctl compliance` process against the bytes of the two
# documents it compares: lays out the host root with compliance_bench (the host side in the
# store; this wipes the build's host root), then runs tarnctl under /usr/bin/time -v.
# Usage: bench/compliance_rss.sh [build folder] [megabytes of the desired document]
set -eu
build=${1:-build}
megabytes=${2:-10}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$build/bench/compliance_bench" "--lay-out=$megabytes" "$folder"
bytes=$(($(stat -c %s "$folder/desired.json") + $(stat -c %s "$folder/host.json")))
status=0
/usr/bin/time -v "$build/tools/tarnctl/tarnctl" compliance "$folder/desired.json" \
    >/dev/null 2>"$folder/time.txt" || status=$?
if [ "$status" -ne 2 ]; then
    echo "tarnctl compliance exited with $status, expected 2 (drift found)" >&2
    cat "$folder/time.txt" >&2
    exit 1
fi
peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$folder/time.txt")
wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$folder/time.txt")
awk -v peak="$peak" -v bytes="$bytes" -v wall="$wall" 'BEGIN {
    printf "documents %.1f MB, peak RSS %.1f MB, ratio %.2f, wall %s\n",
        bytes / 1e6, peak * 1024 / 1e6, peak * 1024 / bytes, wall }'
