#!/usr/bin/env bash
# The copy of a sparse file on tmpfs: a 4 GiB file holding two 1 MiB data
# extents, copied by Veltrix and by cp --sparse=always. Prints each one's
# wall time and the blocks (512 bytes) allocated to source and copies.
# Usage: bench/sparse.sh [Veltrix binary]   (default build/Veltrix)
# A benchmark: it asserts nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
veltrix=${1:-$root/build/Veltrix}
base=${TMPFS:-/dev/shm}
[[ $(stat -f -c %T "$base") == tmpfs ]] || echo "note: $base is not tmpfs" >&2
work=$(mktemp -d "$base/veltrix-sparse.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
truncate -s 4G "$work/src/big"
dd if=/dev/urandom of="$work/src/big" bs=1M count=1 seek=1000 conv=notrunc status=none
dd if=/dev/urandom of="$work/src/big" bs=1M count=1 seek=3000 conv=notrunc status=none

seconds() {  # runs "$@", prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
t_vx=$(seconds "$veltrix" "$work/src" "$work/vx" -Q)
t_cp=$(seconds cp --sparse=always "$work/src/big" "$work/cp.big")
cmp "$work/src/big" "$work/vx/big"
printf '%-28s %10s %12s\n' "" "seconds" "blocks"
printf '%-28s %10s %12s\n' "source" "-" "$(stat -c %b "$work/src/big")"
printf '%-28s %10.3f %12s\n' "Veltrix" "$t_vx" "$(stat -c %b "$work/vx/big")"
printf '%-28s %10.3f %12s\n' "cp --sparse=always" "$t_cp" "$(stat -c %b "$work/cp.big")"
