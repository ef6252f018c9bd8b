#!/usr/bin/env bash
# Awkward names: blanks, quotes, apostrophes, leading dashes, non-UTF-8 bytes,
# 255-byte names, paths deeper than the system's limit. Each is copied under
# its own name or refused aloud, never truncated to another name.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/"src d'essai"
dst=$VX_TMP/"dst -X 'copie'"
mkdir -p "$src/sous dossier"
names=("a b.txt" "  blancs  .txt" "l'apostrophe.txt" "-X" "--dash.txt" "sous dossier/-S -E.txt")
if [ "$VX_WINE" = 0 ]; then
  names+=('gui"llemets".txt' $'\xe9t\xe9 latin1.txt' "$(printf 'L%.0s' $(seq 1 255))")
fi
for n in "${names[@]}"; do printf '%s' "$n" >"$src/$n"; done

vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}SILENT" "${S}Q"
vxf_rc_clean "awkward names"
assert_rc 0 "awkward names"
diff -r "$src" "$dst" >"$VX_TMP/.diff" 2>&1 || { cat "$VX_TMP/.diff"; fail "the copy differs from the source"; }
[ "$(find "$dst" -type f | wc -l)" = "${#names[@]}" ] || fail "the copy holds other names than the source"
pass "names with blanks, quotes, apostrophes, dashes: copied under their own names"

# Overwriting each of them goes through a temporary name, 255-byte names too.
for n in "${names[@]}"; do printf 'new %s' "$n" >"$src/$n"; done
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}FORCE" "${S}V" "${S}SILENT" "${S}Q"
assert_rc 0 "overwriting awkward names"
diff -r "$src" "$dst" >/dev/null 2>&1 || fail "the overwrite differs from the source"
[ -z "$(find "$dst" -name '*vxpart*')" ] || fail "a temporary file was left"
pass "overwriting awkward names, -FORCE -V"

# A source that begins with a dash is read as a switch: refused, nothing done.
vxf_run "${S}dossier" "$(vx_path "$VX_TMP/none")"
vxf_rc_clean "a source with a leading dash"
assert_rc 5 "a source with a leading dash is refused"
[ ! -e "$VX_TMP/none" ] || fail "a refused command line created the destination"
pass "a leading-dash source is refused with exit 5"

vxf_linux_only "paths deeper than PATH_MAX"
# Deeper than PATH_MAX: no single path reaches the deepest files, but the walk
# holds each folder and names files relative to it, so they are copied.
deep=$VX_TMP/deep
mkdir -p "$deep/src"
part=$(printf 'p%.0s' $(seq 1 200))
(cd "$deep/src" && for i in $(seq 1 22); do mkdir "$part" && cd "$part" || exit 1; [ "$i" = 18 ] && printf 'mid' >mid.txt; done; printf 'deep' >deep.txt) ||
  fail "cannot build the deep tree"
printf 'top' >"$deep/src/top.txt"
log=$VX_TMP/deep.log
vxf_run "$deep/src" "$deep/dst" "${S}S" "${S}V" "${S}SILENT" "${S}Q" "${S}LOG:$log;2"
vxf_rc_clean "deeper than PATH_MAX"
assert_rc 0 "a path deeper than PATH_MAX is copied"
assert_eq top "$(cat "$deep/dst/top.txt")" "the shallow file is copied"
assert_contains "$log" "\"$deep/src/$(printf "$part/%.0s" $(seq 1 22))deep.txt\" -> \"$deep/dst/" "the deep copy is logged under its whole path"
(cd "$deep/src" && find . -type f | sort) >"$VX_TMP/.sources"
(cd "$deep/dst" && find . -type f | sort) >"$VX_TMP/.copied"
cmp -s "$VX_TMP/.sources" "$VX_TMP/.copied" || fail "the deep copy holds other names than the source"
(cd "$deep/dst" && for i in $(seq 1 22); do cd "$part" || exit 1; done; [ "$(cat deep.txt)" = deep ]) || fail "the deepest file differs"
pass "paths deeper than PATH_MAX are copied under their own names through held folders"

# A tree deeper than the open descriptors allow (the walk holds one per level
# and side): a failed copy, logged, never a crash or a log that cannot be opened.
fd=$VX_TMP/fd
mkdir -p "$fd/src"
(cd "$fd/src" && for i in $(seq 1 400); do mkdir d && cd d || exit 1; done; printf 'leaf' >leaf.txt)
printf 'top' >"$fd/src/top.txt"
log=$VX_TMP/fd.log
VX_RC=0
(ulimit -Sn 256 && ulimit -Hn 256 && exec "$VX_BIN" "$fd/src" "$fd/dst" "${S}S" "${S}C" "${S}SILENT" "${S}Q" "${S}LOG:$log;1") \
  </dev/null >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
vxf_rc_clean "a tree deeper than the descriptors allow"
assert_rc 2 "a tree deeper than the descriptors allow: a failed copy"
assert_contains "$log" "Erreur lors de la copie de \"$fd/src/d/" "the folder out of reach is logged"
assert_eq top "$(cat "$fd/dst/top.txt")" "the rest of the tree is copied"
pass "a tree deeper than the open descriptors allow: a failed copy (exit 2), logged, the rest copied"

# Control characters in names: a terminal shows them as "?", a file or a pipe
# gets them unchanged, and in the log CR and LF become "?" so that one entry
# stays one line (which the trim then counts as one).
ctl=$VX_TMP/ctl
mkdir -p "$ctl/src"
esc=$'titre\e]0;pris\a\e[2J.txt'
nl=$'deux\nlignes.txt'
printf 'e' >"$ctl/src/$esc"
printf 'n' >"$ctl/src/$nl"
log=$VX_TMP/ctl.log
vxf_run "$ctl/src" "$ctl/dst" "${S}SILENT" "${S}LOG:$log;2"
vxf_rc_clean "control characters in names"
assert_rc 0 "control characters in names"
assert_eq e "$(cat "$ctl/dst/$esc")" "a name with an escape sequence is copied under its own name"
assert_eq n "$(cat "$ctl/dst/$nl")" "a name with a line break is copied under its own name"
assert_contains "$VX_OUT" "$ctl/src/$esc" "standard output to a file gets the name unchanged"
assert_contains "$log" "\"$ctl/src/deux?lignes.txt\" -> \"$ctl/dst/deux?lignes.txt\"." "a line break in a name is ? in the log"
assert_contains "$log" "\"$ctl/src/$esc\" -> " "other control characters stay in the log"
[ "$(grep -c 'lignes.txt' "$log")" = 1 ] || fail "the log entry of a name with a line break spans two lines"
if command -v script >/dev/null; then
  rm -rf "$ctl/dst"
  script -qec "$(printf '%q ' "$VX_BIN" "$ctl/src" "$ctl/dst" "${S}SILENT")" /dev/null >"$VX_TMP/.tty" 2>&1 </dev/null
  grep -aq $'\e' "$VX_TMP/.tty" && fail "an escape sequence from a name reached the terminal"
  assert_contains "$VX_TMP/.tty" "$ctl/src/titre?]0;pris??[2J.txt" "the terminal shows the name with ?"
  assert_contains "$VX_TMP/.tty" "$ctl/src/deux?lignes.txt" "the terminal shows the line break as ?"
  pass "control characters in names: ? on a terminal and in the log's line breaks, unchanged in files"
else
  pass "control characters in names: unchanged in files, line breaks as ? in the log (no script(1) for a terminal)"
fi
