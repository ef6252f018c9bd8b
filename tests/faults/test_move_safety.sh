#!/usr/bin/env bash
# Files that change under a copy: hard links to files outside the trees keep
# their modes under -X and -R, a move never deletes a source saved anew or
# appended to while it was copied, -V digests the copy it wrote and not a
# file put in its place, and a FIFO put in a source file's place after the
# listing is never opened.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
out=$VX_TMP/outside
log=$VX_TMP/copie.log

# mode, content and DOS attribute of a file, to compare before and after
state() { printf '%s %s %s' "$(stat -c %a "$1")" "$(md5sum <"$1" | cut -c1-8)" \
  "$(getfattr --only-values -n user.DOSATTRIB "$1" 2>/dev/null)"; }

# ---- Hard links to files outside the trees ------------------------------------

destinations=("$dst")
[ "$VX_WINE" = 1 ] || { vxf_mount_tmpfs "$VX_TMP/other_fs" 8m && destinations+=("$VX_TMP/other_fs/dst"); }
for d in "${destinations[@]}"; do
  where=${d#"$VX_TMP"/}
  rm -rf "$src" "$d" "$out"
  mkdir -p "$src" "$d" "$out"
  printf 'read-only' >"$out/ro"
  chmod 0444 "$out/ro"
  ln "$out/ro" "$src/ro"
  before=$(state "$out/ro")
  vxf_run "$(vx_path "$src")" "$(vx_path "$d")" "${S}S" "${S}X" "${S}SILENT" "${S}Q"
  vxf_rc_clean "-X of a hard link, $where"
  assert_eq "$before" "$(state "$out/ro")" "-X of a hard link, $where: the outside file changed"
  assert_eq read-only "$(cat "$d/ro")" "-X of a hard link, $where: the copy"
  if [ "$VX_WINE" = 1 ]; then
    # Windows must clear read-only to delete: not on a file with another link.
    assert_rc 2 "-X of a read-only hard link under Windows"
    [ -e "$src/ro" ] || fail "-X of a read-only hard link under Windows: the source went"
  else
    assert_rc 0 "-X of a hard link, $where"
    [ ! -e "$src/ro" ] && [ -e "$out/ro" ] || fail "-X of a hard link, $where: the source name stays or the outside name went"
  fi
done

# Towards NUL the name goes as it is: no mode written through the link first.
rm -rf "$src" "$out"
mkdir -p "$src" "$out"
printf 'read-only' >"$out/ro"
chmod 0444 "$out/ro"
ln "$out/ro" "$src/ro"
before=$(state "$out/ro")
vxf_run "$(vx_path "$src")" NUL "${S}S" "${S}X" "${S}SILENT" "${S}Q"
vxf_rc_clean "-X towards NUL of a hard link"
assert_eq "$before" "$(state "$out/ro")" "-X towards NUL of a hard link: the outside file changed"
if [ "$VX_WINE" = 1 ]; then
  assert_rc 2 "-X towards NUL of a read-only hard link under Windows"
  [ -e "$src/ro" ] || fail "-X towards NUL of a read-only hard link under Windows: the source went"
else
  assert_rc 0 "-X towards NUL of a hard link"
  [ ! -e "$src/ro" ] || fail "-X towards NUL of a hard link: the source name stays"
fi

rm -rf "$src" "$dst" "$out"
mkdir -p "$src" "$dst" "$out"
printf 'outside' >"$out/ro"
chmod 0444 "$out/ro"
ln "$out/ro" "$dst/ro"
touch -d '2001-01-01 12:00' "$out/ro"
printf 'newer' >"$src/ro"
before=$(state "$out/ro")
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}R" "${S}SILENT" "${S}Q"
vxf_rc_clean "-R over a hard link"
assert_eq "$before" "$(state "$out/ro")" "-R over a read-only hard link: the outside file changed"
if [ "$VX_WINE" = 1 ]; then
  assert_rc 2 "-R over a read-only hard link under Windows"
else
  assert_rc 0 "-R over a read-only hard link"
  assert_eq newer "$(cat "$dst/ro")" "-R over a read-only hard link: the copy"
fi
pass "hard links to outside files keep their mode, content and attributes under -X and -R"

# ---- Changes while the program is held (Linux: the fault shim holds it) -------

vxf_linux_only "changes during a copy"
vxf_require_shim "changes during a copy"

# A move copies (an older target is there, or the target lies on another
# file system); once the copy has its name, the source is saved anew the way
# editors do, or appended to. The move of that file fails, the source stays.
head -c 1000000 /dev/urandom >"$VX_TMP/doc.bin"
replace_source() { printf 'V2' >"$src/.n" && mv "$src/.n" "$src/doc.bin"; }
append_source() { printf 'tail' >>"$src/doc.bin"; }
for d in "${destinations[@]}"; do
  for act in replace_source append_source; do
    what="$act, ${d#"$VX_TMP"/}"
    rm -rf "$src" "$d" "$log"
    mkdir -p "$src" "$d"
    cp "$VX_TMP/doc.bin" "$src/"
    if [ "$d" = "$dst" ]; then
      printf 'older' >"$d/doc.bin"
      touch -d '2001-01-01 12:00' "$d/doc.bin"
    fi
    VXF_ENV="VXF_HOLD_NAMED=$d/doc.bin"
    vxf_run_held "$act" "$src" "$d" "${S}X" "${S}SILENT" "${S}LOG:$log;1"
    VXF_ENV=
    vxf_rc_clean "$what"
    assert_rc 2 "$what"
    assert_contains "$log" "Erreur lors de la copie de \"$src/doc.bin\"." "$what: the failed move is logged"
    if [ $act = replace_source ]; then
      assert_eq V2 "$(cat "$src/doc.bin")" "$what: the newer version is lost"
    else
      assert_eq "$(cat "$VX_TMP/doc.bin")tail" "$(cat "$src/doc.bin")" "$what: the appended tail is lost"
    fi
  done
done
pass "a move keeps a source saved anew or appended to while it was copied"

# -V digests the copy through the descriptor that wrote it: a file swapped
# in over the committed copy is never read.
rm -rf "$src" "$dst" "$log"
mkdir -p "$src" "$dst"
printf 'the copied file' >"$src/f.txt"
printf 'a secret of someone else' >"$VX_TMP/secret"
chmod 0600 "$VX_TMP/secret"
secret=$(vxf_sum "$VX_TMP/secret")
swap_copy() { cp "$VX_TMP/secret" "$dst/.s" && mv "$dst/.s" "$dst/f.txt"; }
VXF_ENV="VXF_HOLD_NAMED=$dst/f.txt"
vxf_run_held swap_copy "$src" "$dst" "${S}V" "${S}SILENT" "${S}LOG:$log;2"
VXF_ENV=
vxf_rc_clean "-V with a file swapped in"
assert_rc 0 "-V with a file swapped in over the copy"
! grep -qi "$secret" "$log" || fail "-V digested the file swapped in over the copy"
pass "-V digests the copy it wrote, not a file put in its place"

# A FIFO put in a source file's place after the listing: never opened (a
# writer waiting on it would go on the moment a reader opened it).
rm -rf "$src" "$dst"
mkdir -p "$src" "$dst"
printf 'x' >"$src/f.bin"
writer=
put_fifo() {
  rm -f "$src/f.bin" && mkfifo "$src/f.bin"
  (exec 3>"$src/f.bin" && : >"$VX_TMP/opened") &
  writer=$!
}
VXF_ENV="VXF_HOLD_OPEN=$src/f.bin"
vxf_run_held put_fifo "$src" "$dst" "${S}SILENT" "${S}Q"
VXF_ENV=
vxf_rc_clean "a FIFO after the listing"
for _ in $(seq 20); do [ ! -e "$VX_TMP/opened" ] || break; sleep 0.1; done
kill "$writer" 2>/dev/null
wait "$writer" 2>/dev/null
[ ! -e "$VX_TMP/opened" ] || fail "a FIFO put in a source file's place was opened"
rm -f "$src/f.bin"
pass "a FIFO put in a source file's place after the listing is never opened"
