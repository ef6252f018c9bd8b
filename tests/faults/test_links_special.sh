#!/usr/bin/env bash
# Links (loops, dangling, to folders) in the source and the destination, and
# special files (FIFOs, sockets, devices) in the source: the run ends, every
# regular file is handled, and no special file is ever opened.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "links and special files"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
VXF_TIMEOUT=30
src=$VX_TMP/src
dst=$VX_TMP/dst

# ---- Links ---------------------------------------------------------------------

rm -rf "$src" "$dst"
mkdir -p "$src/sub" "$src/real" "$dst/sub" "$VX_TMP/elsewhere"
printf 'a' >"$src/a.txt"
printf 'r' >"$src/real/r.txt"
printf 'e' >"$VX_TMP/elsewhere/e.txt"
ln -s . "$src/sub/self"              # a loop through the current folder
ln -s .. "$src/sub/up"               # a loop through the parent
ln -s loop2 "$src/loop1"; ln -s loop1 "$src/loop2"   # links to each other
ln -s "$VX_TMP/nowhere" "$src/dangling.txt"
ln -s real "$src/linked_folder"
ln -s a.txt "$src/file_link.txt"
ln -s "$dst" "$dst/sub/back"         # the destination's own loop
ln -s "$VX_TMP/nowhere" "$dst/dangling_dst.txt"
ln -s "$VX_TMP/elsewhere/e.txt" "$dst/sub/outside_file.txt"
for opts in "${S}S" "${S}E" "${S}S ${S}SYNCHRONIZE" "${S}E ${S}BISYNCHRONIZE"; do
  # shellcheck disable=SC2086
  vxf_run "$src" "$dst" $opts "${S}SILENT" "${S}Q"
  vxf_rc_clean "links $opts"
  assert_rc 0 "links $opts"
  assert_eq a "$(cat "$dst/a.txt")" "links $opts: a.txt"
  assert_eq r "$(cat "$dst/real/r.txt")" "links $opts: real/r.txt"
  assert_eq a "$(cat "$dst/file_link.txt")" "links $opts: a link to a file is copied as its content"
  [ ! -e "$dst/linked_folder" ] || [ -L "$dst/linked_folder" ] || fail "links $opts: a folder link was entered"
  assert_eq e "$(cat "$VX_TMP/elsewhere/e.txt")" "links $opts: the file behind a destination link changed"
done
pass "link loops, dangling links and folder links in source and destination: every run ends, every file is copied"

# A dangling link in the destination where the source has a file: the copy
# replaces the link, and what it named is never created.
rm -rf "$dst"
mkdir -p "$dst"
ln -s "$VX_TMP/elsewhere/created.txt" "$dst/a.txt"
vxf_run "$src/a.txt" "$dst" "${S}SILENT" "${S}Q"
vxf_rc_clean "dangling destination link"
[ ! -e "$VX_TMP/elsewhere/created.txt" ] || fail "the copy followed a dangling destination link"
assert_rc 0 "a dangling destination link is replaced"
assert_eq a "$(cat "$dst/a.txt")" "the dangling link is replaced by the copy"
pass "a dangling destination link is replaced, its target never created"

# ---- Special files -----------------------------------------------------------------

rm -rf "$src" "$dst"
mkdir -p "$src"
printf 'x' >"$src/x.txt"
specials=(fifo)
mkfifo "$src/fifo"
if mknod "$src/device" c 1 3 2>/dev/null; then specials+=(device); else skip "no device node (mknod refused)"; fi
if command -v python3 >/dev/null &&
   python3 -c "import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])" "$src/socket" 2>/dev/null; then
  specials+=(socket)
else
  skip "no socket (python3 missing)"
fi
trace=$VX_TMP/opened
for opts in "${S}S" "${S}X" "${S}V ${S}FORCE ${S}H" "${S}SYNCHRONIZE"; do
  rm -f "$trace"
  VXF_ENV="VXF_TRACE_OPEN=$trace"
  # shellcheck disable=SC2086
  vxf_run "$src" "$dst" $opts "${S}SILENT" "${S}Q"
  VXF_ENV=
  vxf_rc_clean "special files $opts"
  assert_rc 0 "special files $opts"
  for f in "${specials[@]}"; do
    [ -e "$src/$f" ] || fail "special files $opts: $f was deleted"
    [ ! -e "$dst/$f" ] || fail "special files $opts: $f was copied"
    if vxf_have_shim && grep -qx "$src/$f" "$trace"; then fail "special files $opts: $f was opened"; fi
  done
  if [ "$opts" = "${S}X" ]; then
    assert_eq x "$(cat "$dst/x.txt")" "special files -X: the regular file moved"
    printf 'x' >"$src/x.txt"
  fi
done
pass "special files in the source (${specials[*]}) are never opened, copied or deleted"
