#!/usr/bin/env bash
# Compares the digest throughput of FileDigest with md5sum on one 1 GiB file.
# Usage: bench/md5_bench.sh [md5_bench binary]
# Without a binary, an optimised one is built in build-bench/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-}
if [[ -z $bench ]]; then
  cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DVELTRIX_TESTS=OFF >/dev/null
  cmake --build "$root/build-bench" --target md5_bench -j2 >/dev/null
  bench=$root/build-bench/bench/md5_bench
fi

file=$(mktemp /tmp/veltrix-md5-bench.XXXXXX)
trap 'rm -f "$file" "$file.md5sum" "$file.ours"' EXIT
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$file"
cat "$file" >/dev/null  # both runs read from the page cache

# Both are timed from outside, process start included, the same way.
TIMEFORMAT=%R
md5sum_time=$( { time md5sum "$file" >"$file.md5sum"; } 2>&1 )
ours_time=$( { time "$bench" "$file" >"$file.ours"; } 2>&1 )
expected=$(awk '{print toupper($1)}' "$file.md5sum")
got=$(awk '{print $1}' "$file.ours")
[[ $got == "$expected" ]] || { echo "digests differ: $got / $expected" >&2; exit 1; }

awk -v a="$md5sum_time" -v b="$ours_time" 'BEGIN {
  printf "md5sum     : %.3f s  %.1f MiB/s\n", a, 1024 / a
  printf "FileDigest : %.3f s  %.1f MiB/s\n", b, 1024 / b
  printf "ratio (FileDigest / md5sum throughput): %.3f\n", a / b
}'
