#!/usr/bin/env bash
# Whole copy sessions through the program: trees, console, log and exit codes.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
# Upper case: on Windows the switch carries the log name upper-cased.
log=$VX_TMP/LOGS/DEEP/COPIE.LOG
mkdir -p "$src/sub/deeper" "$src/empty"
printf 'alpha' >"$src/a.txt"
printf 'bravo' >"$src/sub/b.txt"
printf 'charlie' >"$src/sub/deeper/c.bin"
total() { vx_console "$1 fichier(s) copié(s)."; }

# ---- A verified copy of a tree, then a second run that finds it up to date -----

vx_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}V" "${S}LOG:$(vx_path "$log");2;500"
assert_rc 0 "first copy"
diff -r --exclude=empty "$src" "$dst" >/dev/null || fail "copied tree differs"
cmp -s "$src/sub/deeper/c.bin" "$dst/sub/deeper/c.bin" || fail "deep file not copied"
[ ! -e "$dst/empty" ] || fail "-S made a folder that holds no copied file"
assert_contains "$VX_OUT" "$(vx_path "$src/sub/b.txt")"
printf '%s%s%s' "$VX_EOL" "$(total 3)" "$VX_EOL" >"$VX_TMP/tail"
tail -c "$(wc -c <"$VX_TMP/tail")" "$VX_OUT" | cmp -s - "$VX_TMP/tail" || fail "total line with an empty line before it"
assert_contains "$log" "$(vx_library 'Début de copie : "')$(vx_path "$src")\" -> \"$(vx_path "$dst")\""
assert_contains "$log" "\"$(vx_path "$src/a.txt")\" -> \"$(vx_path "$dst/a.txt")\"."
assert_contains "$log" "$(vx_library '. 3 fichiers copiés. 0 erreurs. Total de fichiers traités : 3]')"
grep -qE "^  [0-9]{2}/[0-9]{2}/[0-9]{4}( [0-9]{2}:[0-9]{2}:[0-9]{2})? : \"" "$log" || fail "stamped copy line"
[ "$(grep -c $'\r$' "$log")" = "$(wc -l <"$log")" ] || fail "log lines end with CR LF"
assert_console_line_ends "$VX_OUT" "names and total"
pass "a -S -V copy with a mode 2 log"

vx_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}LOG:$(vx_path "$log")" "${S}SILENT"
assert_rc 0 "second run"
assert_eq "$(total 0)${VX_EOL%$'\n'}" "$(cat "$VX_OUT")" "nothing copied, no empty line before the total"
assert_contains "$log" "$(vx_path "$src/a.txt") = $(vx_path "$dst/a.txt")"
pass "an up-to-date copy is skipped and logged with ="

# ---- Failures: a read-only target, with and without -C ---------------------------

chmod a-w "$dst/a.txt"
vx_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}FORCE" "${S}Q"
assert_rc 2 "read-only target without -R"
assert_contains "$VX_OUT" "Erreur lors de la copie de \"$(vx_path "$src/a.txt")\"."
assert_eq alpha "$(cat "$dst/a.txt")" "read-only target untouched"
vx_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}FORCE" "${S}C" "${S}SILENT" "${S}LOG:$(vx_path "$log");2"
assert_rc 2 "-C: the run goes on, the logged error gives 2"
assert_contains "$log" "Erreur lors de la copie de \"$(vx_path "$src/a.txt")\" vers \"$(vx_path "$dst/a.txt")\"."
vx_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}FORCE" "${S}C" "${S}SILENT" "${S}LOG:$(vx_path "$log");0"
assert_rc 0 "-C with log mode 0: the failure is not logged, so not counted"
vx_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}FORCE" "${S}R" "${S}SILENT"
assert_rc 0 "-R overwrites a read-only target"
pass "copy failures give 2 (-C, LOG modes, -R)"

# ---- Questions: -P answered from standard input ---------------------------------

new=$VX_TMP/new
VX_INPUT=$'oui\nnon merci\nn\n' vx_run "$(vx_path "$src")" "$(vx_path "$new")" "${S}SILENT"  "${S}P" "${S}S" "${S}Q"
assert_rc 0 "-P yes then no"
[ -e "$new/a.txt" ] && [ ! -e "$new/sub/b.txt" ] && [ ! -e "$new/sub/deeper/c.bin" ] || fail "-P: yes copies, no skips"
rm -rf "$new"
VX_INPUT=$'tous\n' vx_run "$(vx_path "$src")" "$(vx_path "$new")" "${S}SILENT" "${S}P" "${S}S" "${S}Q"
assert_rc 0 "-P all"
assert_eq 1 "$(grep -c "$(vx_console 'Souhaitez-vous le créer ?')" "$VX_OUT")" "one question after Tous"
[ -e "$new/sub/deeper/c.bin" ] || fail "-P all copies every file"
rm -rf "$new"
VX_INPUT=$'annuler\n' vx_run "$(vx_path "$src")" "$(vx_path "$new")" "${S}SILENT" "${S}P" "${S}S" "${S}Q"
assert_rc 1 "-P cancel"
[ -e "$new/a.txt" ] && [ ! -e "$new/sub/b.txt" ] || fail "cancel: the file asked about is copied, nothing after"
pass "-P answers yes, no, all and cancel"

# ---- Listing, the null device, several sources and destinations ------------------

vx_run "$(vx_path "$src")" "$(vx_path "$VX_TMP/none")" "${S}L" "${S}SILENT"
assert_rc 0 "-L"
[ ! -e "$VX_TMP/none" ] || fail "-L created the destination"
assert_contains "$VX_OUT" "$(vx_path "$src/sub/deeper/c.bin")"
assert_contains "$VX_OUT" "$(total 3)"
pass "-L names every file and creates nothing"

mkdir -p "$VX_TMP/junk"
printf 'xxxxxxxxxxxxxxxxxxxx' >"$VX_TMP/junk/big.tmp"
printf 'x' >"$VX_TMP/junk/small.tmp"
printf 'xxxxxxxxxxxxxxxxxxxx' >"$VX_TMP/junk/abig.tmp"
printf 'xxxxxxxxxxxxxxxxxxxx' >"$VX_TMP/junk/keep.ini"
vx_run "$(vx_path "$VX_TMP/junk")$( [ "$VX_WINE" = 1 ] && echo '\' || echo /)*.tmp" nul "${S}SIZE:+10" "${S}x" "${S}EXCLUDE:a*.*" "${S}SILENT"
assert_rc 0 "delete through nul"
[ ! -e "$VX_TMP/junk/big.tmp" ] || fail "selected file not deleted"
[ -e "$VX_TMP/junk/small.tmp" ] && [ -e "$VX_TMP/junk/abig.tmp" ] && [ -e "$VX_TMP/junk/keep.ini" ] ||
  fail "nul -X deleted a file the filters keep"
pass "nul with -X deletes only the selected files"

printf '%s\r\n' "$(vx_path "$VX_TMP/d2")" "$(vx_path "$VX_TMP/d3")" >"$VX_TMP/dests.txt"
vx_run "$(vx_path "$src/a.txt");$(vx_path "$src/sub")" "$(vx_path "$VX_TMP/d1");file:$(vx_path "$VX_TMP/dests.txt")" "${S}SILENT" "${S}Q"
assert_rc 0 "several sources and destinations"
for d in d1 d2 d3; do
  [ -e "$VX_TMP/$d/a.txt" ] && [ -e "$VX_TMP/$d/b.txt" ] || fail "pair missing in $d"
done
assert_contains "$VX_OUT" "$(total 6)"
pass "every source meets every destination, list files included"

# ---- Move: -X renames on the same file system and removes emptied folders ------

mv_src=$VX_TMP/mv_src
mkdir -p "$mv_src/inner"
printf 'm1' >"$mv_src/m1.txt"
printf 'm2' >"$mv_src/inner/m2.txt"
vx_run "$(vx_path "$mv_src")" "$(vx_path "$VX_TMP/mv_dst")" "${S}S" "${S}X" "${S}V" "${S}SILENT" "${S}Q"
assert_rc 0 "move"
[ "$(cat "$VX_TMP/mv_dst/inner/m2.txt")" = m2 ] || fail "moved file missing"
[ ! -e "$mv_src" ] || fail "emptied source folders not removed"
pass "-X moves files and removes the emptied source folders"
