#!/usr/bin/env bash
# Kernels before 6.13 have no getxattrat or setxattrat, and a container's
# seccomp profile older than them refuses them with EPERM: the shim makes
# both fail either way, and attributes are then read and written through the
# held folder's descriptor in /proc. Hidden files, the archive bit and a
# mirror's hidden files behave as with the newer calls.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "extended attributes"
vx_engine_ready || { skip "engine not built yet"; exit 0; }
vxf_have_shim || { skip "fault shim not built"; exit 0; }
command -v setfattr >/dev/null && command -v getfattr >/dev/null || { skip "setfattr or getfattr missing"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
mkdir -p "$src/sub"
printf s >"$src/shown.txt"
printf h >"$src/hidden.txt"
printf i >"$src/sub/inner.txt"
setfattr -n user.DOSATTRIB -v '"0x22"' "$src/hidden.txt" 2>/dev/null || { skip "no user attributes on this file system"; exit 0; }
setfattr -n user.DOSATTRIB -v '"0x2"' "$src/sub"
dos() { getfattr --only-values -n user.DOSATTRIB "$1" 2>/dev/null || echo none; }
for refusal in 1 EPERM; do
  VXF_ENV="VXF_NO_XATTRAT=$refusal"
  rm -rf "$dst"

  vxf_run "$src" "$dst" "${S}S" "${S}Q"
  vxf_rc_clean "copy"
  assert_rc 0 "copy"
  [ -f "$dst/shown.txt" ] || fail "the visible file was not copied (refused: $refusal)"
  [ ! -e "$dst/hidden.txt" ] || fail "a hidden file was copied without -H (refused: $refusal)"
  [ ! -e "$dst/sub" ] || fail "a hidden folder was entered without -H (refused: $refusal)"
  pass "without -H, hidden files and folders are told by the attribute read through /proc (refused: $refusal)"

  rm -rf "$dst"
  vxf_run "$src" "$dst" "${S}S" "${S}Q" "${S}H" "${S}M"
  vxf_rc_clean "copy -H -M"
  assert_rc 0 "copy -H -M"
  assert_eq 0x2 "$(dos "$dst/hidden.txt")" "-H -M: the hidden copy, its archive bit cleared"
  assert_eq 0x0 "$(dos "$dst/shown.txt")" "-H -M: the archive bit cleared on the copy"
  assert_eq i "$(cat "$dst/sub/inner.txt")" "-H: the hidden folder's file"
  pass "with -H the hidden ones are copied with their attribute, -M clears the archive bit (refused: $refusal)"

  rm -rf "$dst"
  mkdir -p "$dst"
  printf x >"$dst/extra.txt"
  printf y >"$dst/kept.txt"
  setfattr -n user.DOSATTRIB -v '"0x2"' "$dst/kept.txt"
  vxf_run "$src" "$dst" "${S}Q" "${S}SYNCHRONIZE"
  vxf_rc_clean "mirror"
  assert_rc 0 "mirror"
  [ ! -e "$dst/extra.txt" ] || fail "the mirror kept a file the source lacks (refused: $refusal)"
  [ -f "$dst/kept.txt" ] || fail "the mirror deleted a hidden file without -H (refused: $refusal)"
  pass "a mirror without -H leaves hidden files alone and removes the others (refused: $refusal)"
done
