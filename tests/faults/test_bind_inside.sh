#!/usr/bin/env bash
# "A mirror whose source lies inside the destination purges nothing" holds
# when the source is reached through a bind mount of a folder inside the
# destination, where climbing from the source stops at the mount. A source
# reached through a bind mount but lying elsewhere is mirrored as usual.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "bind mounts"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
T=$VX_TMP
mkdir -p "$T/d/sub/src" "$T/d/other" "$T/bm" "$T/elsewhere/src" "$T/bm2"
printf 'a' >"$T/d/a.txt"
printf 'b' >"$T/d/other/b.txt"
printf 's' >"$T/d/sub/src/s.txt"
printf 'e' >"$T/elsewhere/src/e.txt"
if ! mount --bind "$T/d/sub" "$T/bm" 2>/dev/null; then
  skip "bind mounts: not permitted here"
  exit 0
fi
VXF_MOUNTS=("$T/bm" "${VXF_MOUNTS[@]}")

vxf_run "$T/bm/src" "$T/d" "${S}S" "${S}SYNCHRONIZE" "${S}Q"
vxf_rc_clean "source inside the destination through a bind mount"
[ -f "$T/d/a.txt" ] && [ -f "$T/d/other/b.txt" ] && [ -f "$T/d/sub/src/s.txt" ] ||
  fail "a source inside the destination, reached through a bind mount, purged the destination"
pass "a source inside the destination through a bind mount purges nothing"

mount --bind "$T/elsewhere" "$T/bm2" || fail "second bind mount"
VXF_MOUNTS=("$T/bm2" "${VXF_MOUNTS[@]}")
mkdir -p "$T/mirror"
printf 'stale' >"$T/mirror/stale.txt"
vxf_run "$T/bm2/src" "$T/mirror" "${S}S" "${S}SYNCHRONIZE" "${S}Q"
vxf_rc_clean "source through a bind mount, destination elsewhere"
assert_eq 0 "$VX_RC" "a mirror from a bind mount"
[ ! -e "$T/mirror/stale.txt" ] && [ -f "$T/mirror/e.txt" ] ||
  fail "a source reached through a bind mount, lying elsewhere, was not mirrored"
pass "a source reached through a bind mount but lying elsewhere is mirrored"
