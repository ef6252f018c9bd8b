#!/usr/bin/env bash
# What a run tells on standard error beside its unchanged standard output:
# the reason of each failure, a notice for a source entry that names nothing
# (a failed copy under -STRICT) and, on a terminal only, the status line.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
mkdir -p "$VX_TMP/src/sub" "$VX_TMP/dst"
printf 'a' >"$VX_TMP/src/a.txt"
printf 'b' >"$VX_TMP/src/sub/b.txt"
printf 'x' >"$VX_TMP/dst/sub"  # a file where the copy needs a folder
src=$(vx_path "$VX_TMP/src")
dst=$(vx_path "$VX_TMP/dst")
sep=/; [ "$VX_WINE" = 1 ] && sep='\'

vx_run "$src" "$dst" "${S}S"
assert_rc 2 "a failed copy"
assert_eq "Erreur lors de la copie de \"$src${sep}sub${sep}b.txt\"." \
  "$(grep -a '^Erreur' "$VX_OUT" | tr -d '\r')" "the message on stdout, as before"
assert_not_contains "$VX_OUT" "Raison" "stdout"
[ "$(wc -l <"$VX_ERR")" = 1 ] && grep -aq '^Raison : [^ ]' "$VX_ERR" || fail "not one reason line on stderr"
assert_console_line_ends "$VX_ERR" "the reason"
vx_run "$src" "$dst" "${S}S" "${S}SILENT"
assert_rc 2 "a failed copy under -SILENT"
assert_empty "$VX_ERR" "-SILENT"
pass "a failed copy: its message on stdout, its reason on stderr; -SILENT keeps stderr quiet"

notice() {  # entry: the notice as the console shows it
  vx_console "La source \"$1\" ne désigne aucun fichier ni dossier."
}
absent=$(vx_path "$VX_TMP/absent")
mask="$src${sep}*.zz"
vx_run "$absent;$mask;$src" "$(vx_path "$VX_TMP/out")"
assert_rc 0 "sources naming nothing, without -STRICT"
assert_eq "$(notice "$absent")"$'\n'"$(notice "$mask")" "$(tr -d '\r' <"$VX_ERR")" "one notice for each"
[ -e "$VX_TMP/out/a.txt" ] || fail "the source that names something was not copied"
vx_run "$absent" "$(vx_path "$VX_TMP/out")" "${S}STRICT"
assert_rc 2 "-STRICT"
vx_run "$mask;$src" "$(vx_path "$VX_TMP/out2")" "${S}STRICT" "${S}C"
assert_rc 2 "-STRICT -C"
[ -e "$VX_TMP/out2/a.txt" ] || fail "-STRICT -C stopped at the entry naming nothing"
vx_run "$absent" "$(vx_path "$VX_TMP/out")" "${S}STRICT" "${S}SILENT"
assert_rc 2 "-STRICT -SILENT"
assert_empty "$VX_ERR" "-STRICT -SILENT"
vx_run "$src" "$(vx_path "$VX_TMP/out")" "${S}STRICT"
assert_rc 0 "-STRICT with a source"
assert_empty "$VX_ERR" "-STRICT with a source"
pass "a source naming nothing: a notice, exit code unchanged; a failed copy under -STRICT"

# The status line, through a pseudo-terminal (Linux: script, of util-linux).
if [ "$VX_WINE" = 0 ] && command -v script >/dev/null; then
  mkdir -p "$VX_TMP/big"
  head -c $((24 << 20)) /dev/zero >"$VX_TMP/big/gros.bin"
  printf 'p' >"$VX_TMP/big/petit.txt"
  "$VX_BIN" "$VX_TMP/big" "$VX_TMP/plain" -V >"$VX_TMP/plain.out" 2>"$VX_TMP/plain.err" </dev/null ||
    fail "copy without a terminal"
  assert_empty "$VX_TMP/plain.err" "stderr redirected: no status line"
  tty_run() {  # name, switches...: stderr on a terminal, stdout into name.out
    local name=$1
    shift
    script -qec "'$VX_BIN' '$VX_TMP/big' '$VX_TMP/$name' $* >'$VX_TMP/$name.out'" \
      "$VX_TMP/$name.tty" </dev/null >/dev/null || fail "script: $name"
  }
  tty_run copy -V
  for text in "fichier(s) copié(s), " "vérification MD5" "gros.bin 0 %" $'\033[K'; do
    assert_contains "$VX_TMP/copy.tty" "$text" "the status line"
  done
  assert_file_eq "$VX_TMP/plain.out" "$VX_TMP/copy.out" "stdout with the status line on stderr"
  tty_run quiet -V -Q
  assert_not_contains "$VX_TMP/quiet.tty" "fichier(s) copié(s), " "-Q"
  # Both streams on one terminal: without the status line (drawn and erased
  # in place), the screen holds what stdout alone holds.
  script -qec "'$VX_BIN' '$VX_TMP/big' '$VX_TMP/both' -V" "$VX_TMP/both.tty" </dev/null >/dev/null
  # (script's own first and last lines, the title, the terminal's CR, and
  # the empty lines script may add are left out.)
  grep -av '^Script \(started\|done\)' "$VX_TMP/both.tty" |
    perl -pe 's/\e\]0;[^\a]*\a//; s/\r[^\r\n]*\e\[K//g; s/\r$//' | grep -v '^$' >"$VX_TMP/both.out"
  grep -v '^$' "$VX_TMP/plain.out" >"$VX_TMP/plain.lines"
  # Each status line drawn is followed by the next one or its erasure (a CR).
  perl -0ne 'exit 1 if /\r[^\r\n\e]+\e\[K(?!\r)/' "$VX_TMP/both.tty" ||
    fail "text written after the status line without erasing it"
  assert_file_eq "$VX_TMP/plain.lines" "$VX_TMP/both.out" "one terminal for both streams"
  pass "the status line shows on a terminal only, and stdout stays as it was"
fi
