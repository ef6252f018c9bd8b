#!/usr/bin/env bash
# System calls per file of Veltrix and its peers on the data of S1, S2, S5
# and S6 of bench/run.sh (a tenth of it with --quick): every call made by the
# process and its children (rsync's included), as strace -f counts them,
# divided by the files of the scenario (S5: by the destination's files).
# Usage: bench/syscalls.sh [--quick] [VELTRIX]   (default: build-bench/Veltrix)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
pct=100
if [ "${1:-}" = --quick ]; then pct=10; shift; fi
vx=${1:-$root/build-bench/Veltrix}
command -v strace >/dev/null || { echo "strace is needed" >&2; exit 2; }
[ -x "$vx" ] || { echo "$vx: no such program (build it: bench/run.sh builds build-bench/)" >&2; exit 2; }
scaled() { echo $(($1 * pct / 100)); }

base=${BENCH_DIR:-/dev/shm}
work=$(mktemp -d "$base/veltrix-syscalls.XXXXXX")
trap 'rm -rf "$work"' EXIT

. "$here/trees.sh"

# count FILES PREPARE CMD...: runs PREPARE (not counted), then CMD under
# strace; prints the calls per file and the four most frequent calls.
count() {
  local files=$1 prepare=$2
  shift 2
  bash -c "$prepare"
  strace -f -qq -o "$work/trace" "$@" >/dev/null 2>&1 || true
  local calls
  calls=$(grep -cv -e '+++ exited' -e '--- SIG' "$work/trace")
  printf '%6.2f  %s\n' "$(echo "$calls / $files" | bc -l)" \
    "$(sed -E 's/^[0-9]+ +//; s/\(.*//' "$work/trace" | sort | uniq -c | sort -rn | head -4 | awk '{printf "%s %s  ", $2, $1}')"
}

n1=$(scaled 20000); dirs1=$(scaled 400)
make_tree "$work/s1" "$n1" "$dirs1" 1024 16384
echo "== S1 copy ($n1 files)"
printf 'Veltrix     '; count "$n1" "rm -rf '$work/t1'" "$vx" "$work/s1" "$work/t1" -S -Q
printf 'cp -a       '; count "$n1" "rm -rf '$work/t1'" cp -a "$work/s1" "$work/t1"
echo "== S2 rerun"
printf 'Veltrix     '; count "$n1" true "$vx" "$work/s1" "$work/t1" -S -Q
printf 'rsync -a    '; count "$n1" true rsync -a "$work/s1/" "$work/t1/"

cp -a "$work/s1" "$work/mirror"
add_extras "$work/mirror" $((n1 / 9)) "$dirs1" 1024 3072
n5=$((n1 + n1 / 9))
fresh="rm -rf '$work/t5' && cp -a '$work/mirror' '$work/t5'"
echo "== S5 mirror ($n5 destination files)"
printf 'Veltrix     '; count "$n5" "$fresh" "$vx" "$work/s1" "$work/t5" -S -Q -SYNCHRONIZE
printf 'rsync       '; count "$n5" "$fresh" rsync -a --delete "$work/s1/" "$work/t5/"
rm -rf "$work/s1" "$work/t1" "$work/t5" "$work/mirror"

n6=$(scaled 200000)
make_tree "$work/s6" "$n6" "$(scaled 2000)" 0 0
echo "== S6 listing ($n6 files)"
printf 'Veltrix     '; count "$n6" true "$vx" "$work/s6" /tmp -L -S
printf 'Veltrix -H  '; count "$n6" true "$vx" "$work/s6" /tmp -L -S -H
printf 'find        '; count "$n6" true find "$work/s6" -type f
