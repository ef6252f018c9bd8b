#!/usr/bin/env bash
# The remaining switches of the help page through the program, on real trees.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
mkdir -p "$src/sub/empty" "$src/lib"
printf 'old' >"$src/old.txt"
printf 'new' >"$src/new.txt"
printf 'archive' >"$src/lib/alpha.dll"
printf 'beta' >"$src/lib/beta.dll"
printf 'secret' >"$src/.hidden"
touch -d '2003-10-20 12:00' "$src/old.txt"
touch -d '2003-10-25 12:00' "$src/new.txt"
run() { local dst=$1; shift; rm -rf "$dst"; vx_run "$(vx_path "$src")" "$(vx_path "$dst")" "$@" "${S}SILENT" "${S}Q"; }
present() { for f in "$@"; do [ -e "$VX_TMP/$f" ] || fail "$f missing"; done; }
absent() { for f in "$@"; do [ ! -e "$VX_TMP/$f" ] || fail "$f should not exist"; done; }

# Dates are read in the French regional form under Wine and the C locale.
run "$VX_TMP/d1" "${S}D:23/10/2003-="
assert_rc 0 "-D absolute"
present d1/old.txt; absent d1/new.txt
run "$VX_TMP/d2" "${S}D:23/10/2003"
present d2/new.txt; absent d2/old.txt
run "$VX_TMP/d3" "${S}D:-3"
absent d3/old.txt d3/new.txt
pass "-D with an absolute date and an age"

run "$VX_TMP/i" "${S}S" "${S}INCLUDE:a*.dll"
present i/lib/alpha.dll; absent i/lib/beta.dll i/old.txt i/sub
pass "-S -INCLUDE creates only the folders holding a matching file"

run "$VX_TMP/e" "${S}E"
present e/sub/empty e/old.txt; absent e/.hidden
run "$VX_TMP/h" "${S}H"
present h/.hidden
pass "-E makes empty folders; hidden files only with -H"

run "$VX_TMP/t" "${S}T" "${S}S"
present t/lib; absent t/lib/alpha.dll t/old.txt t/sub
run "$VX_TMP/te" "${S}T" "${S}E"
present te/sub/empty; absent te/old.txt
pass "-T makes the folders a copy would make and copies no file"

# A folder of a file's name is no existing target: skipped, not a failed copy.
mkdir -p "$VX_TMP/u/old.txt"
printf 'stale' >"$VX_TMP/u/new.txt"
vx_run "$(vx_path "$src")" "$(vx_path "$VX_TMP/u")" "${S}U" "${S}SILENT" "${S}Q"
assert_rc 0 "-U with a folder in a file's place"
assert_eq new "$(cat "$VX_TMP/u/new.txt")" "-U refreshes an existing target"
[ -d "$VX_TMP/u/old.txt" ] && [ -z "$(ls -A "$VX_TMP/u/old.txt")" ] || fail "-U wrote where a folder holds the name"
assert_eq "new.txt old.txt " "$(ls -A "$VX_TMP/u" | tr '\n' ' ')" "-U made a new target"
pass "-U copies only over existing targets"

chmod a-w "$src/old.txt"
run "$VX_TMP/k"
# (Write bits, not -w: root may write anyway.)
[ -n "$(find "$VX_TMP/k/old.txt" -perm /200)" ] || fail "without -K the copy is writable"
run "$VX_TMP/k2" "${S}K"
[ -z "$(find "$VX_TMP/k2/old.txt" -perm /222)" ] || fail "-K keeps the read-only attribute"
chmod u+w "$src/old.txt"
pass "-K keeps the read-only attribute, without it the copy is writable"

run "$VX_TMP/f" "${S}F"
vx_run "$(vx_path "$src/new.txt")" "$(vx_path "$VX_TMP/f2")" "${S}F" "${S}SILENT"
assert_contains "$VX_OUT" "$(vx_path "$src/new.txt") -> $(vx_path "$VX_TMP/f2/new.txt")"
pass "-F names the source and the target"

VX_INPUT=$'\n' vx_run "$(vx_path "$src/new.txt")" "$(vx_path "$VX_TMP/w")" "${S}W"
assert_rc 0 "-W"
assert_contains "$VX_OUT" "$(vx_console 'Appuyez sur <Entrée> pour lancer la copie.')"
present w/new.txt
pass "-W asks before starting"

run "$VX_TMP/n" "${S}N"
present n/new.txt
pass "-N copies under the short names (the names themselves on Linux)"

mkdir -p "$VX_TMP/y_src/inner"
printf 'y' >"$VX_TMP/y_src/inner/y.txt"
vx_run "$(vx_path "$VX_TMP/y_src")" "$(vx_path "$VX_TMP/y_dst")" "${S}S" "${S}X" "${S}Y" "${S}SILENT" "${S}Q"
present y_dst/inner/y.txt y_src/inner; absent y_src/inner/y.txt
pass "-X -Y moves the files and keeps the emptied source folders"

if [ "$VX_WINE" = 0 ] && command -v setfattr >/dev/null && setfattr -n user.DOSATTRIB -v '"0x0"' "$src/old.txt" 2>/dev/null; then
  setfattr -n user.DOSATTRIB -v '"0x20"' "$src/new.txt"
  run "$VX_TMP/a" "${S}A"
  present a/new.txt; absent a/old.txt
  run "$VX_TMP/m" "${S}M"
  present m/new.txt; absent m/old.txt
  assert_eq 0x20 "$(getfattr --only-values -n user.DOSATTRIB "$src/new.txt" 2>/dev/null)" "-M leaves the source's archive bit"
  assert_eq 0x0 "$(getfattr --only-values -n user.DOSATTRIB "$VX_TMP/m/new.txt" 2>/dev/null)" "-M clears the copy's archive bit"
  pass "-A and -M select by the archive bit"
else
  skip "-A/-M: the archive bit needs user.DOSATTRIB on Linux (Wine reports it on every file)"
fi
