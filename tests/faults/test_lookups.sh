#!/usr/bin/env bash
# Look-ups that cannot be made are never "not there". A target whose look-up
# fails (EIO) under -U, -P, -BISYNCHRONIZE and the identical-file test, and a
# source whose dates cannot be read under -D, are failed copies that leave
# the target alone; a destination folder the purge cannot list keeps what it
# holds, and the purge cut short is an error (logged, exit 2).
source "$(dirname "$0")/lib.sh"
vxf_linux_only "look-ups that fail"
vx_engine_ready || { skip "engine not built yet"; exit 0; }
vxf_require_shim "look-ups that fail"

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst

setup() {
  rm -rf "$src" "$dst"
  mkdir -p "$src" "$dst"
  printf 'old version' >"$dst/a.txt"
  touch -d 2001-01-01 "$dst/a.txt"
  printf 'new version' >"$src/a.txt"
}

for sw in U P BISYNCHRONIZE ""; do
  what=${sw:-identical-file test}
  setup
  VXF_ENV="VXF_LOOK_EIO=dst/a.txt"
  VX_INPUT="T
" vxf_run "$src" "$dst" ${sw:+"$S$sw"} "${S}LOG:$VX_TMP/log.txt;2"
  VXF_ENV=
  vxf_rc_clean "$what"
  assert_eq 2 "$VX_RC" "$what: a target that cannot be looked at is a failed copy"
  assert_eq "old version" "$(cat "$dst/a.txt")" "$what: the target changed"
  assert_eq "new version" "$(cat "$src/a.txt")" "$what: the source changed"
  grep -q "Erreur lors de la copie de .*a.txt" "$VX_ERR" "$VX_OUT" || fail "$what: no failed copy shown"
  grep -q "vers .*dst/a.txt" "$VX_TMP/log.txt" || fail "$what: the log does not name the target"
  ! grep -q "n'existe pas" "$VX_OUT" || fail "$what: asked whether to create a file that exists"
done
pass "a target that cannot be looked at: -U, -P, -BISYNCHRONIZE and the identical-file test fail the copy, target kept"

setup
VXF_ENV="VXF_OPEN_EIO=src/a.txt"
vxf_run "$src" "$dst" "${S}D:-10000"
VXF_ENV=
vxf_rc_clean "unreadable date"
assert_eq 2 "$VX_RC" "a source whose dates cannot be read is a failed copy"
assert_eq "old version" "$(cat "$dst/a.txt")" "unreadable date: the target changed"
pass "a source whose dates cannot be read is a failed copy"

# The purge: one destination folder cannot be listed (EIO after one entry).
setup
mkdir -p "$dst/kept/inner"
printf 'k' >"$dst/kept/k1.txt"
printf 'k' >"$dst/kept/k2.txt"
printf 's' >"$dst/stale.txt"
VXF_ENV="VXF_LIST_EIO=dst/kept VXF_LIST_EIO_AFTER=1"
vxf_run "$src" "$dst" "${S}SYNCHRONIZE" "${S}LOG:$VX_TMP/mirror.log"
VXF_ENV=
vxf_rc_clean "purge cut short"
assert_eq 2 "$VX_RC" "a purge cut short by a destination listing error fails the run"
[ -f "$dst/kept/k1.txt" ] && [ -f "$dst/kept/k2.txt" ] && [ -d "$dst/kept/inner" ] ||
  fail "purge cut short: a folder that could not be listed lost entries"
[ ! -e "$dst/stale.txt" ] || fail "purge cut short: the rest of the destination was not purged"
grep -q "Impossible de lister le dossier .*dst/kept" "$VX_TMP/mirror.log" ||
  fail "purge cut short: not in the log"
pass "a purge cut short by a destination listing error keeps that folder, is logged and exits 2"
