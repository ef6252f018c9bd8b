#!/usr/bin/env bash
# Time stamps that no file time holds (beyond the year 30,000, before 1601)
# are conversion failures: nothing overflows, and the date test does not
# guess a date for them. Needs a file system that stores such times (tmpfs).
source "$(dirname "$0")/lib.sh"
vxf_linux_only "time stamps beyond the file-time range"
vx_engine_ready || { skip "engine not built yet"; exit 0; }
vxf_mount_tmpfs "$VX_TMP/t" 4m || exit 0

export LC_ALL=C  # dd/mm/yyyy
S=$VX_SW
src=$VX_TMP/t/src
mkdir -p "$src"
printf 'loin' >"$src/futur.txt"
printf 'vieux' >"$src/ancien.txt"
printf 'ok' >"$src/normal.txt"
touch -d @1000000000000000 "$src/futur.txt"
touch -d @-20000000000 "$src/ancien.txt"  # the year 1336
if [ "$(stat -c %Y "$src/futur.txt")" != 1000000000000000 ] ||
   [ "$(stat -c %Y "$src/ancien.txt")" != -20000000000 ]; then
  skip "this tmpfs does not hold such times"
  exit 0
fi

# The date test: only the file with a date that converts can pass it.
vxf_run "$src" "$VX_TMP/t/dated" "${S}D:01/01/2000+" "${S}SILENT"
vxf_rc_clean "far times under -D"
assert_rc 0 "far times under -D"
[ -e "$VX_TMP/t/dated/normal.txt" ] || fail "the file of today was not copied"
[ ! -e "$VX_TMP/t/dated/futur.txt" ] && [ ! -e "$VX_TMP/t/dated/ancien.txt" ] ||
  fail "a file whose time does not convert passed the date test"
pass "times that do not convert fail the date test"

# Without a date test the time plays no part; a second run finds the copies.
vxf_run "$src" "$VX_TMP/t/all" "${S}SILENT"
vxf_rc_clean "far times copied"
assert_rc 0 "far times copied"
for f in futur ancien normal; do
  cmp -s "$src/$f.txt" "$VX_TMP/t/all/$f.txt" || fail "$f.txt not copied"
done
assert_eq "$(stat -c %Y "$src/futur.txt")" "$(stat -c %Y "$VX_TMP/t/all/futur.txt")" "far time kept by the copy"
vxf_run "$src" "$VX_TMP/t/all" "${S}SILENT"
vxf_rc_clean "far times, second run"
assert_rc 0 "far times, second run"
pass "files with far times copy, and compare with their copies without overflow"
