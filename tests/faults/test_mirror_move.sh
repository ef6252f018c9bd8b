#!/usr/bin/env bash
# A mirroring move (-SYNCHRONIZE -X): once a file is moved its source is gone,
# so "missing from the source" no longer means "removed by the user". Under
# -X the purge deletes nothing: every moved file stays, also on the next
# day's run, and what was in the destination before stays too.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
setup() {
  rm -rf "$src" "$dst"
  mkdir -p "$src/sub/deep" "$dst/stale"
  printf 'a' >"$src/a.txt"
  printf 'b' >"$src/sub/b.txt"
  printf 'c' >"$src/sub/deep/c.txt"
  printf 's' >"$dst/stale/s.txt"
  printf 't' >"$dst/t.txt"
}

check_moved() {
  assert_eq a "$(cat "$dst/a.txt" 2>/dev/null)" "$1: a.txt lost"
  assert_eq b "$(cat "$dst/sub/b.txt" 2>/dev/null)" "$1: sub/b.txt lost"
  assert_eq c "$(cat "$dst/sub/deep/c.txt" 2>/dev/null)" "$1: sub/deep/c.txt lost"
  [ -e "$dst/t.txt" ] && [ -e "$dst/stale/s.txt" ] || fail "$1: the purge deleted under -X"
}

setup
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}SYNCHRONIZE" "${S}X" "${S}Y" "${S}SILENT" "${S}Q"
vxf_rc_clean "-X -Y mirror"
assert_rc 0 "-X -Y mirror"
check_moved "-X -Y mirror"
[ -d "$src/sub/deep" ] || fail "-Y: the source folders were removed"
# The next day: new files arrive, yesterday's are only in the archive.
printf 'n' >"$src/sub/new.txt"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}SYNCHRONIZE" "${S}X" "${S}Y" "${S}SILENT" "${S}Q"
vxf_rc_clean "-X -Y mirror, second day"
assert_rc 0 "-X -Y mirror, second day"
check_moved "-X -Y mirror, second day"
assert_eq n "$(cat "$dst/sub/new.txt" 2>/dev/null)" "second day: new.txt"
pass "a mirroring move that keeps the source folders keeps every moved file, day after day"

# A file that stays in the source (excluded) keeps the source folder alive.
setup
printf 'k' >"$src/keep.log"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst/")" "${S}S" "${S}SYNCHRONIZE" "${S}X" "${S}EXCLUDE:*.LOG" "${S}SILENT" "${S}Q"
vxf_rc_clean "-X mirror with a file left"
assert_rc 0 "-X mirror with a file left"
check_moved "-X mirror with a file left"
[ -e "$src/keep.log" ] || fail "the excluded file left the source"
pass "a mirroring move with a file left in the source keeps every moved file"
