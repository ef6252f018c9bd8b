#!/usr/bin/env bash
# Benchmarks the Linux build of Veltrix against cp, rsync, md5sum and find on
# generated trees: median wall time, peak memory and the ratio Veltrix/peer.
# Usage: bench/run.sh [--large|--quick] [--keep]
# Results: bench/RESULTS.md and bench/results.png (--quick, a tenth of the
# data to try the script, writes them in the data folder and keeps it).
# BENCH_DIR picks the folder the data sets go in (default: /dev/shm when it has
# room, else /var/tmp); RUNS the timed runs per command (default 5, 3 for the
# verified copies, the scale series, S8 and S10). VELTRIX=program measures that
# program instead of building one (an older build, say); its results are
# written in the data folder, which is kept. VX_THREADS=n adds -THREADS:n to
# every Veltrix command (VX_THREADS=1: the engine on one thread).
# S10 mounts bench/latencyfs.c and needs root and /dev/fuse; without them it is
# skipped, saying why (VX_FUSE_DEV=/nonexistent tries that).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
pct=100  # data size in percent of the default
keep=0
for arg in "$@"; do
  case $arg in
    --large) pct=1000 ;;
    --quick) pct=10; keep=1 ;;
    --keep) keep=1 ;;
    *) echo "usage: $0 [--large|--quick] [--keep]" >&2; exit 2 ;;
  esac
done
scaled() { echo $(($1 * pct / 100)); }
case ${VX_THREADS:-1} in ''|*[!0-9]*) echo "VX_THREADS must be a number of threads" >&2; exit 2 ;; esac

# apt_install PACKAGE...: from Debian's packages, with sudo when not root.
apt_install() {
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  echo "installing $*" >&2
  if [ -z "${apt_updated:-}" ]; then $sudo apt-get update -qq || return; apt_updated=1; fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null
}
need=()
for tool in hyperfine rsync gnuplot; do command -v $tool >/dev/null || need+=("$tool"); done
[ -x /usr/bin/time ] || need+=(time)
[ ${#need[@]} -eq 0 ] || apt_install $(printf '%s\n' "${need[@]}" | sed 's/^gnuplot$/gnuplot-nox/')

# S10's file system: without root or /dev/fuse nothing is installed for it, and
# a failed installation only skips it.
. "$here/latencyfs.sh"
if [ "$(id -u)" != 0 ]; then s10_skip="not root"
elif s10_skip=$(latencyfs_missing) && [ -e "${VX_FUSE_DEV:-/dev/fuse}" ]; then
  apt_install fuse3 libfuse3-dev pkg-config || true
  s10_skip=$(latencyfs_missing) || s10_skip=""
fi

if [ -n "${VELTRIX:-}" ]; then
  vx=$VELTRIX
  keep=1
else
  build="$root/build-bench"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELTRIX_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target Veltrix >/dev/null
  vx="$build/Veltrix"
fi

# Room for the large file, its copy and the trees: the data live in memory
# when they fit, so the page cache is warm by construction and the disk's own
# bookkeeping (inode reuse after each removal) does not weigh on either side.
needed_kib=$(( (5 * pct / 100 + 2) * 1024 * 1024 ))
base=${BENCH_DIR:-}
if [ -z "$base" ]; then
  base=/var/tmp
  avail=$(df -Pk /dev/shm 2>/dev/null | awk 'NR==2 {print $4}')
  [ -n "$avail" ] && [ "$avail" -gt "$needed_kib" ] && base=/dev/shm
fi
work=$(mktemp -d "$base/veltrix-bench.XXXXXX")
fstype=$(df -PT "$work" | awk 'NR==2 {print $2}')
echo "data in $work ($fstype)" >&2
mnt10=""
cleanup() {
  [ -z "$mnt10" ] || latencyfs_unmount "$mnt10"
  [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
out_md="$here/RESULTS.md"; out_png="$here/results.png"
if [ "$pct" = 10 ] || [ -n "${VELTRIX:-}" ]; then out_md="$work/RESULTS.md"; out_png="$work/results.png"; fi

. "$here/trees.sh"

results="$work/results.tsv"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
: > "$results"

# peak_kib CMD...: peak resident set size of one run, in KiB.
peak_kib() { /usr/bin/time -f %M -o "$work/mem" "$@" >/dev/null 2>&1 || true; cat "$work/mem" | tail -1; }

# measure NAME PREPARE VELTRIX_CMD PEER_NAME PEER_CMD [RUNS]: one row of the
# table. The two commands alternate, one run each per round, the first of a
# round taking turns, so both see the same load; the first round warms up.
measure() {
  local name=$1 prepare=$2 vcmd=$3 peer=$4 pcmd=$5 runs=${6:-${RUNS:-5}}
  vcmd+=${VX_THREADS:+ -THREADS:$VX_THREADS}
  echo "== $name: Veltrix vs $peer" >&2
  : > "$work/times"
  # No shell between hyperfine and the programs (its start-up would blur the
  # short runs); a peer made of several commands runs in bash.
  case $pcmd in *'&&'*|*'>'*) pcmd="bash -c '$pcmd'" ;; esac
  local round warm order
  for ((round = 0; round < runs; round++)); do
    warm=0; ((round == 0)) && warm=1
    if ((round % 2 == 0)); then order=(-n veltrix "$vcmd" -n peer "$pcmd")
    else order=(-n peer "$pcmd" -n veltrix "$vcmd"); fi
    hyperfine -N --style none --warmup $warm --runs 1 --prepare "bash -c '$prepare'" \
      --export-json "$work/h.json" "${order[@]}" >/dev/null
    python3 -c '
import json,sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(r["command"], r["times"][0])' "$work/h.json" >> "$work/times"
  done
  local vmed pmed
  read -r vmed pmed < <(python3 -c '
import statistics,sys
t={"veltrix":[],"peer":[]}
for line in open(sys.argv[1]):
    k,v=line.split(); t[k].append(float(v))
print(statistics.median(t["veltrix"]), statistics.median(t["peer"]))' "$work/times")
  eval "$prepare"
  local vmem; vmem=$(peak_kib bash -c "$vcmd")
  eval "$prepare"
  local pmem; pmem=$(peak_kib bash -c "$pcmd")  # bash -c 'cmd && cmd' for a compound peer
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$peer" "$vmed" "$pmed" "$vmem" "$pmem" >> "$results"
}

n1=$(scaled 20000); dirs1=$(scaled 400)
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
echo "generating a $(scaled 2048) MiB file" >&2
head -c $(scaled 2048)M /dev/urandom > "$big/large.bin"
# Nine rounds: both sides make the same copy_file_range call, whose time
# (the kernel filling 2 GiB of pages) spreads by half from run to run.
measure "S3 one large file" "rm -rf $bigdst && mkdir -p $bigdst" "$vx $big $bigdst -Q" "cp" "cp $big/large.bin $bigdst/" 9

md5both() { echo "find $1 -type f -exec md5sum {} + >/dev/null && find $2 -type f -exec md5sum {} + >/dev/null"; }
measure "S4 verified small files" "rm -rf $dst" "$vx $src $dst -S -Q -V" "cp -a + md5sum" "cp -a $src $dst && $(md5both "$src" "$dst")" 3
measure "S4 verified large file" "rm -rf $bigdst && mkdir -p $bigdst" "$vx $big $bigdst -Q -V" "cp + md5sum" "cp $big/large.bin $bigdst/ && $(md5both "$big" "$bigdst")" 3
rm -rf "$big" "$bigdst"

# The destination holds every source file plus a ninth as many others, so
# that a tenth of its files are absent from the source.
mirror="$work/mirror-base"
rm -rf "$mirror"; cp -a "$src" "$mirror"
add_extras "$mirror" $((n1 / 9)) $dirs1 1024 3072
measure "S5 mirror" "rm -rf $dst && cp -a $mirror $dst" "$vx $src $dst -S -Q -SYNCHRONIZE" "rsync -a --delete" "rsync -a --delete $src/ $dst/"
rm -rf "$mirror" "$dst"

n6=$(scaled 200000); list="$work/s6"
echo "generating $n6 empty files" >&2
make_tree "$list" $n6 $(scaled 2000) 0 0
measure "S6 listing" "true" "$vx $list /tmp -L -S" "find" "find $list -type f"
measure "S6 listing -H" "true" "$vx $list /tmp -L -S -H" "find" "find $list -type f"
rm -rf "$list"

# S7: how time and memory grow with the file count.
for factor in 1 4 16; do
  n=$(scaled $((2000 * factor))); tree="$work/s7-$factor"
  make_tree "$tree" $n $(( $(scaled 40) * factor)) 1024 16384
  measure "S7 copy x$factor ($n files)" "rm -rf $dst" "$vx $tree $dst -S -Q" "cp -a" "cp -a $tree $dst" 3
  measure "S7 listing x$factor ($n files)" "true" "$vx $tree /tmp -L -S" "find" "find $tree -type f" 3
  rm -rf "$tree" "$dst"
done

# S8: one folder of 200,000 small files (a tenth under --quick; the same
# 200,000 under --large): copy, rerun, mirror onto a copy holding a ninth more.
n8=$(scaled 200000); [ "$n8" -gt 200000 ] && n8=200000
src8="$work/s8"; dst8="$work/t8"; mirror8="$work/mirror8"
echo "generating $n8 files in one folder" >&2
make_tree "$src8" $n8 1 1 1024
measure "S8 one folder: copy" "rm -rf $dst8" "$vx $src8 $dst8 -S -Q" "cp -a" "cp -a $src8 $dst8" 3
rm -rf "$dst8"; cp -a "$src8" "$dst8"
measure "S8 one folder: rerun" "true" "$vx $src8 $dst8 -S -Q" "rsync -a" "rsync -a $src8/ $dst8/" 3
rm -rf "$dst8" "$mirror8"; cp -a "$src8" "$mirror8"
add_extras "$mirror8" $((n8 / 9)) 1 1 1024
measure "S8 one folder: mirror" "rm -rf $dst8 && cp -a $mirror8 $dst8" "$vx $src8 $dst8 -S -Q -SYNCHRONIZE" \
  "rsync -a --delete" "rsync -a --delete $src8/ $dst8/" 3
rm -rf "$src8" "$dst8" "$mirror8"

# S9 (--large only): 1,000,000 empty files in 1,000 folders, copy and rerun.
if [ "$pct" = 1000 ]; then
  src9="$work/s9"; dst9="$work/t9"
  echo "generating 1000000 empty files" >&2
  make_tree "$src9" 1000000 1000 0 0
  measure "S9 1,000,000 files: copy" "rm -rf $dst9" "$vx $src9 $dst9 -S -Q" "cp -a" "cp -a $src9 $dst9" 3
  rm -rf "$dst9"; cp -a "$src9" "$dst9"
  measure "S9 1,000,000 files: rerun" "true" "$vx $src9 $dst9 -S -Q" "rsync -a" "rsync -a $src9/ $dst9/" 3
  rm -rf "$src9" "$dst9"
fi

# S10: small files on slow storage, latencyfs waiting 1 ms in every operation,
# source and destination on the mount (2,000 files, 200 under --quick, 2,000
# under --large). The trees are made and reset in the backing folder, behind
# the file system's back: only the measured commands wait.
back10="$work/s10-backing"
if [ -z "$s10_skip" ]; then
  mnt10="$work/s10-mnt"
  mkdir -p "$back10" "$mnt10"
  latencyfs_build "$work/latencyfs" && latencyfs_mount "$work/latencyfs" "$back10" "$mnt10" 1000 ||
    s10_skip="latencyfs did not build or mount"
fi
if [ -n "$s10_skip" ]; then
  echo "S10 skipped: $s10_skip" | tee -a "$work/notes" >&2
else
  n10=$(scaled 2000); [ "$n10" -gt 2000 ] && n10=2000
  src10="$mnt10/src"; dst10="$mnt10/dst"
  echo "generating $n10 files in 20 folders behind latencyfs" >&2
  make_tree "$back10/src" $n10 20 1024 16384
  measure "S10 slow storage: copy" "rm -rf $back10/dst" "$vx $src10 $dst10 -S -Q" "cp -a" "cp -a $src10 $dst10" 3
  rm -rf "$back10/dst"; cp -a "$back10/src" "$back10/dst"
  measure "S10 slow storage: rerun" "true" "$vx $src10 $dst10 -S -Q" "rsync -a" "rsync -a $src10/ $dst10/" 3
  rm -rf "$back10/dst"; cp -a "$back10/src" "$back10/mirror"
  add_extras "$back10/mirror" $((n10 / 9)) 20 1024 3072
  measure "S10 slow storage: mirror" "rm -rf $back10/dst && cp -a $back10/mirror $back10/dst" \
    "$vx $src10 $dst10 -S -Q -SYNCHRONIZE" "rsync -a --delete" "rsync -a --delete $src10/ $dst10/" 3
fi
if [ -n "$mnt10" ]; then latencyfs_unmount "$mnt10"; rm -rf "$back10" "$mnt10"; mnt10=""; fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
touch "$work/notes"
python3 - "$results" "$out_md" "$work/chart.dat" "$pct" "$fstype" "$load_start" "$load_before" "$(nproc)" "$work/notes" <<'PY'
import sys, os, platform, datetime
results, md, chart_path, pct, fstype, load0, load1, cpus, notes = sys.argv[1:10]
rows = [l.rstrip("\n").split("\t") for l in open(results) if l.strip()]
# The goals: highest ratio Veltrix/peer for each scenario (its name up to
# the first colon) and peer; S8's peak memory stays under 24 MiB.
goals = {("S1 many small files", "cp -a"): 0.45, ("S2 up-to-date rerun", "rsync -a"): 0.35,
         ("S3 one large file", "cp"): 1.05, ("S4 verified small files", "cp -a + md5sum"): 1.0,
         ("S4 verified large file", "cp + md5sum"): 1.0, ("S5 mirror", "rsync -a --delete"): 0.40,
         ("S6 listing", "find"): 2.0, ("S6 listing -H", "find"): 1.0,
         ("S8 one folder", "cp -a"): 1.0, ("S8 one folder", "rsync -a"): 1.0,
         ("S8 one folder", "rsync -a --delete"): 1.0,
         ("S10 slow storage", "cp -a"): 0.12, ("S10 slow storage", "rsync -a"): 0.25}
s8_memory_goal_kib = 24 * 1024
is_s8 = lambda name: name.startswith("S8 ")
option = {"100": "", "1000": " --large", "10": " --quick"}.get(pct, "")
threads = os.environ.get("VX_THREADS", "")
out = ["# Benchmark results", "",
       "Generated by `%sbench/run.sh%s` on %s: %s, %s CPUs, data on %s, page cache warm." % (
           "VX_THREADS=%s " % threads if threads else "", option, datetime.date.today(),
           platform.machine(), cpus, fstype),
       "Each time is the median of single runs alternating with the peer's (first round "
       "warms up); peak RSS from one more run under `/usr/bin/time`. S10 runs on "
       "`bench/latencyfs.c`, waiting 1 ms in every operation. Load average "
       "(1, 5, 15 min) at the start: %s, at the end: %s." % (load0, load1), "",
       "| Scenario | Peer | Veltrix (s) | Peer (s) | Ratio | Goal | Veltrix peak RSS (MiB) | Peer peak RSS (MiB) |",
       "|---|---|---:|---:|---:|---|---:|---:|"]
chart = []
verdicts = {}  # goal -> whether each of its rows met it
for name, peer, v, p, vm, pm in rows:
    ratio = float(v) / float(p)
    key = (name.split(":")[0], peer)
    goal = goals.get(key)
    if goal is not None:
        verdicts.setdefault(key, []).append(ratio <= goal)
    verdict = "" if goal is None else ("≤ %.2f met" % goal if ratio <= goal else "≤ %.2f **not met**" % goal)
    memory = "%.1f" % (int(vm) / 1024) + (" **over 24**" if is_s8(name) and int(vm) >= s8_memory_goal_kib else "")
    out.append("| %s | %s | %.3f | %.3f | %.2f | %s | %s | %.1f |" % (
        name, peer, float(v), float(p), ratio, verdict, memory, int(pm) / 1024))
    # The slow-storage rows are told apart by their colour.
    chart.append('"%s vs %s" %.6f %d' % (name, peer, ratio, 0xd9822b if name.startswith("S10 ") else 0x3b6ea5))
peak = max(rows, key=lambda r: int(r[4]))
s8_peak = max([int(r[4]) for r in rows if is_s8(r[0])], default=None)
skipped = [l.rstrip("\n") for l in open(notes) if l.strip()]
if skipped: out += [""] + skipped
out += ["", "Veltrix's highest peak RSS: %.1f MiB (%s vs %s)." % (int(peak[4]) / 1024, peak[0], peak[1]),
        "S8's peak RSS: %s (goal: under 24 MiB: %s)." % (
            "not measured" if s8_peak is None else "%.1f MiB" % (s8_peak / 1024),
            "not measured" if s8_peak is None else "met" if s8_peak < s8_memory_goal_kib else "**not met**")]
unmet = ["%s vs %s" % k for k in goals if k in verdicts and not all(verdicts[k])]
unmeasured = ["%s vs %s" % k for k in goals if k not in verdicts]
summary = "Ratio goals met: %d of %d." % (sum(all(v) for v in verdicts.values()), len(goals))
if unmet: summary += " **Not met**: %s." % ", ".join(unmet)
if unmeasured: summary += " Not measured: %s." % ", ".join(unmeasured)
out.append(summary)
open(md, "w").write("\n".join(out) + "\n")
open(chart_path, "w").write("\n".join(chart) + "\n")
print("\n".join(out))
PY

s10_key='NaN with boxes lc rgb "#d9822b" title "S10: latencyfs, 1 ms per operation"'
[ -z "$s10_skip" ] || s10_key="NaN with lines lt nodraw title \"S10 skipped: $s10_skip\""
gnuplot <<GP
set terminal pngcairo size 1300,700 noenhanced font ",10"
set output "$out_png"
stats "$work/chart.dat" using 2 nooutput
set title "Veltrix / peer, median wall time (below 1: Veltrix faster; logarithmic scale)"
set style fill solid 0.8
set boxwidth 0.7
set xtics rotate by -35 left
set ylabel "ratio"
set grid ytics
set logscale y 2
# Bars below a quarter (S10's, as a rule) widen the scale downwards.
set yrange [(STATS_min / 1.5 < 0.25 ? STATS_min / 1.5 : 0.25):*]
set bmargin 14
set rmargin 24
set key top right
set arrow from graph 0, first 1 to graph 1, first 1 nohead dt 2 lc rgb "red"
plot "$work/chart.dat" using 0:2:3:xtic(1) with boxes lc rgb variable notitle, \
     "" using 0:2:(sprintf("%.2f", \$2)) with labels offset 0,0.7 notitle, \
     NaN with boxes lc rgb "#3b6ea5" title "data on $fstype", $s10_key
GP
echo "wrote $out_md and $out_png" >&2
