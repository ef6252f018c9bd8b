#!/usr/bin/env bash
# Benchmarks the Linux build of Veltrix against cp, rsync, md5sum and find on
# generated trees: median wall time, peak memory and the ratio Veltrix/peer.
# Usage: bench/run.sh [--large] [--keep]   (results: bench/RESULTS.md, bench/results.png)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
scale=1
keep=0
for arg in "$@"; do
  case $arg in
    --large) scale=10 ;;
    --keep) keep=1 ;;
    *) echo "usage: $0 [--large] [--keep]" >&2; exit 2 ;;
  esac
done

need=()
for tool in hyperfine rsync gnuplot; do command -v $tool >/dev/null || need+=("$tool"); done
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  pkgs=$(printf '%s\n' "${need[@]}" | sed 's/^gnuplot$/gnuplot-nox/')
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $pkgs >/dev/null
fi

build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELTRIX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target Veltrix >/dev/null
vx="$build/Veltrix"

work=$(mktemp -d /var/tmp/veltrix-bench.XXXXXX)
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

# make_tree DIR FILES FOLDERS MIN MAX: files of MIN..MAX bytes spread over folders.
make_tree() {
  python3 - "$@" <<'PY'
import os, random, sys
root, files, folders, lo, hi = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
rnd = random.Random(42)
blob = os.urandom(hi + 4096)
for d in range(folders):
    os.makedirs(os.path.join(root, "d%04d" % d), exist_ok=True)
for i in range(files):
    size = rnd.randint(lo, hi)
    start = rnd.randint(0, 4096)
    with open(os.path.join(root, "d%04d" % (i % folders), "f%06d.dat" % i), "wb") as f:
        f.write(blob[start:start + size])
PY
}

results="$work/results.tsv"
: > "$results"

# peak_kib CMD...: peak resident set size of one run, in KiB.
peak_kib() { /usr/bin/time -f %M -o "$work/mem" "$@" >/dev/null 2>&1 || true; cat "$work/mem" | tail -1; }

# measure NAME PREPARE VELTRIX_CMD PEER_NAME PEER_CMD: one row of the table.
measure() {
  local name=$1 prepare=$2 vcmd=$3 peer=$4 pcmd=$5
  echo "== $name: Veltrix vs $peer" >&2
  hyperfine --style none --warmup 1 --runs "${RUNS:-5}" --prepare "$prepare" \
    --export-json "$work/h.json" -n veltrix "$vcmd" -n "$peer" "$pcmd" >/dev/null
  local vmed pmed
  read -r vmed pmed < <(python3 -c '
import json,sys
r=json.load(open(sys.argv[1]))["results"]
print(r[0]["median"], r[1]["median"])' "$work/h.json")
  eval "$prepare"
  local vmem; vmem=$(peak_kib bash -c "$vcmd")
  eval "$prepare"
  local pmem; pmem=$(peak_kib bash -c "$pcmd")
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$peer" "$vmed" "$pmed" "$vmem" "$pmem" >> "$results"
}

n1=$((20000 * scale)); dirs1=$((400 * scale))
src="$work/s1"; dst="$work/t1"
echo "generating $n1 files in $dirs1 folders" >&2
make_tree "$src" $n1 $dirs1 1024 16384

measure "S1 many small files" "rm -rf $dst" "$vx $src $dst -S -Q" "cp -a" "cp -a $src $dst"
measure "S1 many small files" "rm -rf $dst" "$vx $src $dst -S -Q" "cp -r" "cp -r $src $dst"
measure "S1 many small files" "rm -rf $dst" "$vx $src $dst -S -Q" "rsync -a" "rsync -a $src/ $dst/"

rm -rf "$dst"; cp -a "$src" "$dst"
measure "S2 up-to-date rerun" "true" "$vx $src $dst -S -Q" "rsync -a" "rsync -a $src/ $dst/"

big="$work/big"; bigdst="$work/bigdst"
mkdir -p "$big"
echo "generating a $((2 * scale)) GiB file" >&2
head -c $((2 * scale))G /dev/urandom > "$big/large.bin"
measure "S3 one large file" "rm -rf $bigdst && mkdir -p $bigdst" "$vx $big $bigdst -Q" "cp" "cp $big/large.bin $bigdst/"

md5both() { echo "find $1 -type f -exec md5sum {} + >/dev/null && find $2 -type f -exec md5sum {} + >/dev/null"; }
measure "S4 verified small files" "rm -rf $dst" "$vx $src $dst -S -Q -V" "cp -a + md5sum" "cp -a $src $dst && $(md5both "$src" "$dst")"
measure "S4 verified large file" "rm -rf $bigdst && mkdir -p $bigdst" "$vx $big $bigdst -Q -V" "cp + md5sum" "cp $big/large.bin $bigdst/ && $(md5both "$big" "$bigdst")"
rm -rf "$big" "$bigdst"

mirror="$work/mirror-base"
rm -rf "$mirror"; cp -a "$src" "$mirror"
make_tree "$work/extra" $((n1 / 9)) $dirs1 1024 4096
cp -a "$work/extra/." "$mirror/"  # f*.dat names of the extra set collide; keep only new ones
python3 - "$mirror" "$src" <<'PY'
import os, sys
m, s = sys.argv[1], sys.argv[2]
for d in os.listdir(m):
    for f in os.listdir(os.path.join(m, d)):
        if os.path.exists(os.path.join(s, d, f)):
            continue
        os.rename(os.path.join(m, d, f), os.path.join(m, d, "x" + f))
PY
rm -rf "$work/extra"
measure "S5 mirror" "rm -rf $dst && cp -a $mirror $dst" "$vx $src $dst -S -Q -SYNCHRONIZE" "rsync -a --delete" "rsync -a --delete $src/ $dst/"
rm -rf "$mirror" "$dst"

n6=$((200000 * scale)); list="$work/s6"
echo "generating $n6 empty files" >&2
make_tree "$list" $n6 $((2000 * scale)) 0 0
measure "S6 listing" "true" "$vx $list /tmp -L -S" "find" "find $list -type f"
rm -rf "$list"

# S7: how time and memory grow with the file count.
for factor in 1 4 16; do
  n=$((2000 * factor * scale)); tree="$work/s7-$factor"
  make_tree "$tree" $n $((40 * factor)) 1024 16384
  measure "S7 copy x$factor ($n files)" "rm -rf $dst" "$vx $tree $dst -S -Q" "cp -a" "cp -a $tree $dst"
  measure "S7 listing x$factor ($n files)" "true" "$vx $tree /tmp -L -S" "find" "find $tree -type f"
  rm -rf "$tree" "$dst"
done

python3 - "$results" "$here/RESULTS.md" "$work/chart.dat" "$scale" <<'PY'
import sys, platform, datetime
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1]) if l.strip()]
out = ["# Benchmark results", "",
       "Generated by `bench/run.sh%s` on %s (%s), medians of hyperfine runs with warm-up, page cache warm." % (
           " --large" if sys.argv[4] != "1" else "", datetime.date.today(), platform.machine()), "",
       "| Scenario | Peer | Veltrix (s) | Peer (s) | Ratio | Veltrix peak RSS (MiB) | Peer peak RSS (MiB) |",
       "|---|---|---:|---:|---:|---:|---:|"]
chart = []
for name, peer, v, p, vm, pm in rows:
    ratio = float(v) / float(p)
    out.append("| %s | %s | %.3f | %.3f | %.2f | %.1f | %.1f |" % (name, peer, float(v), float(p), ratio, int(vm) / 1024, int(pm) / 1024))
    chart.append('"%s vs %s" %.3f' % (name, peer, ratio))
open(sys.argv[2], "w").write("\n".join(out) + "\n")
open(sys.argv[3], "w").write("\n".join(chart) + "\n")
print("\n".join(out))
PY

gnuplot <<GP
set terminal pngcairo size 1200,700 noenhanced font ",10"
set output "$here/results.png"
set title "Veltrix / peer, median wall time (below 1: Veltrix faster)"
set style fill solid 0.8
set boxwidth 0.7
set xtics rotate by -35 left
set ylabel "ratio"
set grid ytics
set yrange [0:*]
set arrow from graph 0, first 1 to graph 1, first 1 nohead dt 2 lc rgb "red"
plot "$work/chart.dat" using 0:2:xtic(1) with boxes lc rgb "#3b6ea5" notitle
GP
echo "wrote $here/RESULTS.md and $here/results.png" >&2
