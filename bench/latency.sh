#!/usr/bin/env bash
# Many small files on slow storage: a FUSE passthrough (bench/latencyfs.c)
# that waits DELAY microseconds in every operation holds the source and the
# destination. Times a copy with cp -a, with Veltrix, with a 16-way parallel
# cp -p, and Veltrix again with nothing to copy. Needs root or /dev/fuse
# access, libfuse3-dev and fuse3 (fusermount3).
#   bash bench/latency.sh [FILES] [DELAY]      defaults: 1000 files, 1000 us
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
files=${1:-1000}
delay=${2:-1000}
bin=${VX_BIN:-$top/build/Veltrix}
. "$here/latencyfs.sh"
if why=$(latencyfs_missing); then echo "$0: $why" >&2; exit 1; fi
[ -x "$bin" ] || { cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build "$top/build" -j2 >/dev/null; }

work=$(mktemp -d)
backing=$work/backing mnt=$work/mnt
mkdir -p "$backing" "$mnt"
cleanup() {
  latencyfs_unmount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT

latencyfs_build "$work/latencyfs"
# The tree is made behind the file system's back: only the copies wait.
for ((i = 0; i < files; i++)); do
  d=$backing/src/d$((i % 10))
  [ -d "$d" ] || mkdir -p "$d"
  printf 'file %d\n' "$i" >"$d/f$i.txt"
done
latencyfs_mount "$work/latencyfs" "$backing" "$mnt" "$delay"

run() {  # label command...
  local start end
  start=$(date +%s.%N)
  timeout 1800 "${@:2}" >/dev/null 2>&1 || echo "  ($1 ended with $?)"
  end=$(date +%s.%N)
  printf '%-44s %8.1f s\n' "$1" "$(echo "$end - $start" | bc)"
}

echo "$files files in 10 folders, ${delay} us per operation, source and destination on one FUSE mount"
run "cp -a src dst" cp -a "$mnt/src" "$mnt/cp"
run "Veltrix src dst -S" "$bin" "$mnt/src" "$mnt/vx" -S -Q
run "Veltrix src dst -S again (nothing to copy)" "$bin" "$mnt/src" "$mnt/vx" -S -Q
diff -r "$backing/src" "$backing/vx" >/dev/null || echo "  (Veltrix's copy differs from its source)"
run "16-way parallel cp -p" bash -c "cd '$mnt/src' && find . -type d -exec mkdir -p '$mnt/par/{}' \; &&
  find . -type f -print0 | xargs -0 -P16 -n16 sh -c 'for f; do cp -p \"\$f\" \"$mnt/par/\$f\"; done' sh"
