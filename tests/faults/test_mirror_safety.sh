#!/usr/bin/env bash
# Mirror safety under faults: a source folder that cannot be read or searched,
# a missing source, a mask source, a destination link to a folder outside it,
# a file system mounted or bound inside the destination, a source bound from
# inside it. Nothing outside the destination is touched, and nothing is
# deleted on the strength of a failed read.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "mirror safety"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
outside=$VX_TMP/outside

setup() {
  rm -rf "$src" "$dst" "$outside"
  mkdir -p "$src/sub" "$dst/sub/old" "$outside/inner"
  printf 'a' >"$src/a.txt"
  printf 'b' >"$src/sub/b.txt"
  printf 'extra' >"$dst/extra.txt"
  printf 'old' >"$dst/sub/old/old.txt"
  printf 'outside' >"$outside/o.txt"
  printf 'i' >"$outside/inner/i.txt"
  (cd "$VX_TMP" && find outside dst -print | sort >"$VX_TMP/.before")
}

# Everything that was outside and in the destination (or only under its
# folder $2) is still there.
assert_nothing_deleted() {
  (cd "$VX_TMP" && find outside dst -print | sort >"$VX_TMP/.after")
  local lost
  lost=$(comm -23 "$VX_TMP/.before" "$VX_TMP/.after" | grep -E "^(outside|dst${2:+/$2})(/|\$)")
  [ -z "$lost" ] || fail "$1: deleted: $lost"
}

assert_outside_untouched() {
  local listing
  listing=$(cd "$outside" && find . | sort | tr '\n' ' ')
  assert_eq ". ./inner ./inner/i.txt ./o.txt " "$listing" "$1: the folder outside changed"
  assert_eq outside "$(cat "$outside/o.txt")" "$1: a file outside changed"
}

mirror() { vxf_run "$(vx_path "$1")" "$(vx_path "$dst")" "${S}SYNCHRONIZE" "${S}E" "${S}SILENT" "${S}Q" "${@:2}"; }

# ---- Sources that cannot be read ------------------------------------------------

if vxf_have_shim; then
  for denied in "" sub; do
    setup
    VXF_ENV="VXF_DENY_DIR=$src/$denied"
    mirror "$src"
    VXF_ENV=
    vxf_rc_clean "unreadable source folder /$denied"
    assert_nothing_deleted "unreadable source folder /$denied" "$denied"
  done
  pass "a source folder that cannot be read purges nothing"
else
  skip "unreadable source folder: fault shim not built"
fi

# A source folder that can be listed but not searched, met only by a user
# other than root: what cannot be looked at in it is not missing.
setup
chmod 0444 "$src/sub"
chmod 0755 "$VX_TMP"
chown -R nobody "$src" "$dst" 2>/dev/null
as_nobody=(setpriv --reuid=nobody --regid="$(id -g nobody 2>/dev/null)" --clear-groups)
if [ "$(id -u)" = 0 ] && "${as_nobody[@]}" test -x "$VX_BIN" -a -w "$dst" 2>/dev/null; then
  VX_RC=0
  timeout -s KILL "$VXF_TIMEOUT" "${as_nobody[@]}" "$VX_BIN" "$src" "$dst" "${S}SYNCHRONIZE" "${S}E" \
    "${S}SILENT" "${S}Q" </dev/null >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  vxf_rc_clean "source folder not searchable"
  assert_nothing_deleted "source folder not searchable" sub
  [ ! -e "$dst/extra.txt" ] || fail "source folder not searchable: the purge did not run"
  pass "a source folder that cannot be searched purges nothing below it"
else
  skip "source folder not searchable: needs root and setpriv to run as nobody"
fi

setup
mirror "$VX_TMP/missing"
assert_nothing_deleted "missing source"
setup
mirror "$src/*.txt"
assert_rc 0 "mask source"
assert_nothing_deleted "mask source"
setup
mirror "$src/a.txt"
assert_nothing_deleted "file source"
pass "a missing source, a mask source or a file source purges nothing"

# ---- A destination link to a folder outside it -------------------------------------

setup
ln -s "$outside" "$dst/link"
mirror "$src"
assert_rc 0 "link without a counterpart"
assert_outside_untouched "link without a counterpart"
[ ! -L "$dst/link" ] || fail "the link without a counterpart was kept"
pass "a destination link to an outside folder: only the link goes"

# Where the source has a folder, the destination a link to an outside one,
# the files that would go through the link are failed copies (exit 2), with
# -X their sources stay. A link to an outside file is replaced by the copy.
for move in "" "${S}X"; do
  setup
  mkdir -p "$src/sub/deeper"
  printf 'c' >"$src/sub/deeper/c.txt"
  rm -rf "$dst/sub"
  ln -s "$outside" "$dst/sub"
  ln -s "$outside/o.txt" "$dst/a.txt"
  mirror "$src" "${S}C" $move
  vxf_rc_clean "links where the source has a folder and a file $move"
  assert_rc 2 "links where the source has a folder $move: failed copies"
  assert_outside_untouched "links where the source has a folder and a file $move"
  assert_eq a "$(cat "$dst/a.txt")" "the link to an outside file is replaced by the copy"
  [ -L "$dst/sub" ] || fail "the link where the source has a folder was removed"
  [ -e "$src/sub/b.txt" ] && [ -e "$src/sub/deeper/c.txt" ] || fail "$move: a source not copied was deleted"
done
pass "destination links where the source has a folder and a file: nothing outside is written"

# ---- A file system mounted inside the destination ----------------------------------

setup
if vxf_mount_tmpfs "$dst/mounted" 1m; then
  printf 'm' >"$dst/mounted/m.txt"
  mkdir "$dst/mounted/deep"
  printf 'd' >"$dst/mounted/deep/d.txt"
  mirror "$src"
  vxf_rc_clean "mount inside the destination"
  [ -e "$dst/mounted/m.txt" ] && [ -e "$dst/mounted/deep/d.txt" ] ||
    fail "the mirror emptied a file system mounted inside the destination"
  pass "a file system mounted inside the destination is not purged"
  # Where the source has that folder, nothing is written into the mount.
  mkdir -p "$src/mounted"
  printf 'n' >"$src/mounted/new.txt"
  mirror "$src" "${S}C"
  vxf_rc_clean "mount inside the destination, source folder of that name"
  assert_rc 2 "a copy into a mounted file system is a failed copy"
  [ ! -e "$dst/mounted/new.txt" ] && [ -e "$dst/mounted/m.txt" ] || fail "the copy wrote into the mount"
  pass "a file system mounted inside the destination is not written into"
  umount "$dst/mounted"
fi

# ---- The same file system bound at two places --------------------------------------
# The mount root of a bind mount is a mount point too, though the device is
# the same: the copy never writes through it, the purge never enters it.
setup
mkdir -p "$src/bound" "$dst/bound"
printf 'n' >"$src/bound/new.txt"
if vxf_run_bound "$outside" "$dst/bound" "$src" "$dst" "${S}SYNCHRONIZE" "${S}E" "${S}C" "${S}SILENT" "${S}Q"; then
  vxf_rc_clean "bind mount inside the destination"
  assert_rc 2 "a copy into a bind mount is a failed copy"
  assert_outside_untouched "bind mount inside the destination"
  pass "a bind mount of the same file system inside the destination is neither written into nor purged"

  # The source seen through a bind mount of a folder inside the destination:
  # a source inside its destination purges nothing, as one reached through a
  # link does.
  setup
  mkdir -p "$VX_TMP/view"
  vxf_run_bound "$dst/sub" "$VX_TMP/view" "$VX_TMP/view" "$dst" "${S}SYNCHRONIZE" "${S}E" "${S}SILENT" "${S}Q"
  vxf_rc_clean "source bound from inside the destination"
  assert_eq old "$(cat "$dst/sub/old/old.txt" 2>/dev/null)" "the mirror purged its own source, seen through a bind mount"
  [ -e "$dst/extra.txt" ] || fail "source bound from inside the destination: the purge ran"
  pass "a source bound from a folder inside the destination purges nothing"
fi
