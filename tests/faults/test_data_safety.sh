#!/usr/bin/env bash
# Data safety: files named like temporaries are the user's, dry runs change
# nothing, a killed or failed log trim keeps the log whole, links to files
# are moved as content and never written through, a listing that fails
# part-way is a failure, and a move across a bind mount copies then deletes.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/s
dst=$VX_TMP/d
fresh() { rm -rf "$src" "$dst" "$VX_TMP/data" "$VX_TMP/out"; mkdir -p "$src" "$dst"; }

# ---- Files named like temporary files ---------------------------------------------

fresh
printf 'new' >"$src/report.txt"
printf 'old' >"$dst/report.txt"
touch -d '2020-01-01' "$dst/report.txt"
printf 'precious' >"$dst/.report.txt.vxpart"
printf 'precious too' >"$dst/report.txt.vxpart"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}SILENT" "${S}Q"
vxf_rc_clean "a copy beside files named like temporaries"
assert_rc 0 "a copy beside files named like temporaries"
assert_eq new "$(cat "$dst/report.txt")" "the copy was made"
assert_eq precious "$(cat "$dst/.report.txt.vxpart" 2>/dev/null)" "a user's .name.vxpart file was deleted"
assert_eq "precious too" "$(cat "$dst/report.txt.vxpart" 2>/dev/null)" "a user's name.vxpart file was deleted"
fresh
printf 'foo' >"$src/foo"
printf 'second' >"$src/.foo.vxpart"
printf 'third' >"$src/foo.vxpart"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}H" "${S}X" "${S}SILENT" "${S}Q"
vxf_rc_clean "-H -X with files named like temporaries"
assert_eq foo "$(cat "$dst/foo" 2>/dev/null)" "-H -X: foo"
assert_eq second "$(cat "$dst/.foo.vxpart" 2>/dev/null)" "-H -X: .foo.vxpart is nowhere"
assert_eq third "$(cat "$dst/foo.vxpart" 2>/dev/null)" "-H -X: foo.vxpart is nowhere"
pass "files named like temporary files are the user's: never deleted, never lost"

# ---- Dry runs ------------------------------------------------------------------------

for dry in L T; do
  fresh
  printf 'a' >"$src/a"
  mkdir -p "$src/sub"
  printf 'b' >"$src/sub/b"
  printf 'x' >"$dst/stale"
  printf 'y' >"$dst/only_in_d"
  for mode in SYNCHRONIZE BISYNCHRONIZE; do
    vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}$dry" "${S}S" "${S}X" "${S}$mode" "${S}SILENT" "${S}Q"
    vxf_rc_clean "-$dry -$mode"
    assert_rc 0 "-$dry -$mode"
    assert_eq x "$(cat "$dst/stale" 2>/dev/null)" "-$dry -$mode: a destination file was deleted"
    [ ! -e "$src/only_in_d" ] || fail "-$dry -$mode: a file was copied back"
    assert_eq a "$(cat "$src/a" 2>/dev/null)" "-$dry -$mode: a source file was moved or deleted"
    [ ! -e "$dst/a" ] || fail "-$dry -$mode: a file was copied"
  done
done
[ -d "$dst/sub" ] || fail "-T made no folder"
pass "-L and -T with -X and (BI)SYNCHRONIZE: nothing deleted, moved, copied or copied back"

# ---- Links to files: moved as content, never written through ------------------------

vxf_linux_only "links, listing faults and bind mounts"
fresh
mkdir -p "$VX_TMP/data"
printf 'real' >"$VX_TMP/data/real.txt"
chmod 0444 "$VX_TMP/data/real.txt"
ln -s ../data/real.txt "$src/link.txt"
vxf_run "$src" "$VX_TMP/out/a/b" "${S}X" "${S}SILENT" "${S}Q"
vxf_rc_clean "-X on a link to a file"
assert_rc 0 "-X on a link to a file"
[ -f "$VX_TMP/out/a/b/link.txt" ] && [ ! -L "$VX_TMP/out/a/b/link.txt" ] || fail "-X moved the link, not the data"
assert_eq real "$(cat "$VX_TMP/out/a/b/link.txt")" "-X: the moved link's content"
[ ! -e "$src/link.txt" ] && [ ! -L "$src/link.txt" ] || fail "-X: the source link stayed"
assert_eq real "$(cat "$VX_TMP/data/real.txt")" "-X: the file behind the link"
assert_eq 444 "$(stat -c %a "$VX_TMP/data/real.txt")" "-X made the file behind a source link writable"

fresh
mkdir -p "$VX_TMP/data"
printf 'outside' >"$VX_TMP/data/outside.txt"
chmod 0444 "$VX_TMP/data/outside.txt"
printf 'new' >"$src/r.txt"
ln -s "$VX_TMP/data/outside.txt" "$dst/r.txt"
vxf_run "$src" "$dst" "${S}R" "${S}FORCE" "${S}SILENT" "${S}Q"
vxf_rc_clean "-R over a link"
assert_eq 444 "$(stat -c %a "$VX_TMP/data/outside.txt")" "-R made the file behind a destination link writable"
assert_eq outside "$(cat "$VX_TMP/data/outside.txt")" "-R wrote through a destination link"
assert_eq new "$(cat "$dst/r.txt")" "-R: the link is replaced by the copy"
pass "links to files: -X moves their content and removes the link, -R never writes through one"

# ---- A listing that fails part-way ------------------------------------------------------

if vxf_have_shim; then
  fresh
  for i in 1 2 3 4 5 6; do printf "$i" >"$src/f$i"; done
  log=$VX_TMP/list.log
  rm -f "$log"
  VXF_ENV="VXF_LIST_EIO=$src VXF_LIST_EIO_AFTER=4"
  vxf_run "$src" "$dst" "${S}C" "${S}SILENT" "${S}Q" "${S}LOG:$log;1"
  VXF_ENV=
  vxf_rc_clean "a listing that fails part-way"
  assert_rc 2 "a listing that fails part-way is a failed copy"
  assert_contains "$log" "Erreur lors de la copie de \"$src/\"." "the failed listing is logged"
  # The mirror's purge deletes nothing below a source folder it cannot list whole.
  fresh
  mkdir -p "$src/sub" "$dst/sub"
  for i in 1 2 3 4 5 6; do printf "$i" >"$src/sub/f$i"; cp "$src/sub/f$i" "$dst/sub/f$i"; done
  printf 'kept' >"$dst/sub/extra"
  VXF_ENV="VXF_LIST_EIO=$src/sub VXF_LIST_EIO_AFTER=4"
  vxf_run "$src" "$dst" "${S}S" "${S}C" "${S}SYNCHRONIZE" "${S}SILENT" "${S}Q"
  VXF_ENV=
  vxf_rc_clean "a mirror whose source listing fails part-way"
  for i in 1 2 3 4 5 6; do [ -e "$dst/sub/f$i" ] || fail "the purge deleted f$i below a source it could not list"; done
  assert_eq kept "$(cat "$dst/sub/extra" 2>/dev/null)" "the purge judged a folder it could not list whole"
  pass "a listing that fails part-way: a failed copy (exit 2), and the purge deletes nothing below it"
else
  skip "listing faults: fault shim not built"
fi

# ---- A move across a bind mount ---------------------------------------------------------

fresh
mkdir -p "$src/sub" "$VX_TMP/target" "$VX_TMP/bound"
printf 'a' >"$src/a"
printf 'b' >"$src/sub/b"
moved_by=""
if unshare -m true 2>/dev/null; then
  VX_RC=0
  unshare -m sh -c 'mount --bind "$1" "$2" || exit 99
                    exec "$3" "$4" "$2" -S -X -V -SILENT -Q' sh \
    "$VX_TMP/target" "$VX_TMP/bound" "$VX_BIN" "$src" </dev/null >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  [ "$VX_RC" != 99 ] && moved_by="a bind mount (unshare -m, mount --bind)"
fi
if [ -z "$moved_by" ] && vxf_have_shim; then
  VXF_ENV="VXF_RENAME_EXDEV=$src/"
  vxf_run "$src" "$VX_TMP/target" "${S}S" "${S}X" "${S}V" "${S}SILENT" "${S}Q"
  VXF_ENV=
  moved_by="renames refused with EXDEV by the shim (no mounts here)"
fi
if [ -n "$moved_by" ]; then
  vxf_rc_clean "a move across $moved_by"
  assert_rc 0 "a move across $moved_by"
  assert_eq a "$(cat "$VX_TMP/target/a" 2>/dev/null)" "move across $moved_by: a"
  assert_eq b "$(cat "$VX_TMP/target/sub/b" 2>/dev/null)" "move across $moved_by: sub/b"
  [ ! -e "$src" ] || fail "move across $moved_by: the source was not emptied"
  pass "a move across $moved_by copies then deletes"
else
  skip "move across a bind mount: neither mounts nor the shim are available"
fi
