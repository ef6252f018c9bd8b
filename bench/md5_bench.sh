#!/usr/bin/env bash
# Compares the digest throughput of FileDigest, and of the same loop with
# 4096-byte and 65536-byte reads, with md5sum's on one 1 GiB file.
# Usage: bench/md5_bench.sh [md5_bench binary]   (ROUNDS=n, default 5)
# Without a binary, an optimised one is built in build-bench/. Each round runs
# every contender once, in turn, from the page cache; the medians are shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-}
if [[ -z $bench ]]; then
  cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=ON >/dev/null
  cmake --build "$root/build-bench" --target md5_bench -j2 >/dev/null
  bench=$root/build-bench/bench/md5_bench
fi

file=$(mktemp /tmp/veltrix-md5-bench.XXXXXX)
times=$(mktemp /tmp/veltrix-md5-times.XXXXXX)
trap 'rm -f "$file" "$file.md5sum" "$file.ours" "$times"' EXIT
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$file"
cat "$file" >/dev/null  # every run reads from the page cache

md5sum "$file" >"$file.md5sum"
expected=$(awk '{print toupper($1)}' "$file.md5sum")
for size in "" 4096 65536; do
  got=$("$bench" "$file" $size | awk '{print $1}')
  [[ $got == "$expected" ]] || { echo "digests differ: $got / $expected" >&2; exit 1; }
done

# All are timed from outside, process start included, the same way.
TIMEFORMAT=%R
for ((round = 0; round < ${ROUNDS:-5}; round++)); do
  echo "md5sum $( { time md5sum "$file" >/dev/null; } 2>&1 )" >>"$times"
  echo "FileDigest $( { time "$bench" "$file" >/dev/null; } 2>&1 )" >>"$times"
  echo "reads-4096 $( { time "$bench" "$file" 4096 >/dev/null; } 2>&1 )" >>"$times"
  echo "reads-65536 $( { time "$bench" "$file" 65536 >/dev/null; } 2>&1 )" >>"$times"
done

python3 - "$times" <<'PY'
import statistics, sys
t = {}
for line in open(sys.argv[1]):
    name, seconds = line.split()
    t.setdefault(name, []).append(float(seconds))
base = statistics.median(t["md5sum"])
for name in ["md5sum", "FileDigest", "reads-4096", "reads-65536"]:
    m = statistics.median(t[name])
    print("%-12s: %.3f s  %7.1f MiB/s  throughput %.3f x md5sum" % (name, m, 1024 / m, base / m))
PY
