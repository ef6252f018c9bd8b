#!/usr/bin/env bash
# Mirror safety under faults: a source folder that cannot be read, a missing
# source, a mask source, a destination link to a folder outside it, a file
# system mounted inside the destination. Nothing outside the destination is
# touched, and nothing is deleted on the strength of a failed read.
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
fi
