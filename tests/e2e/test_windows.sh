#!/usr/bin/env bash
# What only the Windows build must get right, run under Wine: -N builds every
# destination path from short names and writes only inside the destination;
# targets of 253 to 259 characters and 250-character names copy and leave no
# temporary file; two runs share one log; names the ANSI code page cannot
# hold fail aloud instead of copying another file; a failed log trim keeps
# the log whole.
source "$(dirname "$0")/lib.sh"
if [ "$VX_WINE" = 0 ]; then
  skip "Windows only"
  exit 0
fi
vx_engine_ready || { skip "engine not built yet"; exit 0; }
# An immutable folder (the failed trim) must not outlive the test.
trap 'chattr -R -i "$VX_TMP" 2>/dev/null; rm -rf "$VX_TMP"' EXIT

S=$VX_SW
# The library's text as the log holds it (ANSI).
ansi() { vx_library "$1"; }
temporaries() { find "$1" -name '.vx~*.tmp' | head -5; }

# ---- -N: short names throughout ------------------------------------------------------

base=$VX_TMP/n
mkdir -p "$base/dossier_long/src/vide" "$base/dossier_long/src/un sous-dossier long"
printf 'a' >"$base/dossier_long/src/a.txt"
printf 'b' >"$base/dossier_long/src/un sous-dossier long/un fichier au nom long.texte"
for switches in "${S}E" "${S}S ${S}E" "${S}S"; do
  rm -rf "$base/dst"
  # shellcheck disable=SC2086
  vx_run "$(vx_path "$base/dossier_long/src")" "$(vx_path "$base/dst")" "${S}N" $switches "${S}SILENT" "${S}Q"
  assert_rc 0 "-N $switches"
  assert_eq "dossier_long dst" "$(ls "$base" | tr '\n' ' ' | sed 's/ $//')" "-N $switches: written beside the destination"
  assert_eq a "$(cat "$base/dst/a.txt" 2>/dev/null)" "-N $switches: a.txt"
  case "$switches" in
    *E*) [ -d "$base/dst/vide" ] || fail "-N $switches: no dst\\vide" ;;
    *) [ ! -e "$base/dst/vide" ] || fail "-N $switches: an empty folder was made without -E" ;;
  esac
  case "$switches" in
    *S*)
      long=$(find "$base/dst" -type f -name '*.TEX')
      [ -n "$long" ] && [ "$(cat "$long")" = b ] || fail "-N $switches: the file below was not copied under its short name"
      ;;
  esac
  # Every name below the destination is a short one.
  if find "$base/dst" -mindepth 1 | sed "s|^$base/dst/||" | tr '/' '\n' | grep -qvE '^[^ .]{1,8}(\.[^ .]{1,3})?$'; then
    fail "-N $switches: a long name reached the destination: $(find "$base/dst" -mindepth 1)"
  fi
done
pass "-N with -E, -S -E and -S: short names throughout, nothing written beside the destination"

# ---- Paths near MAX_PATH and long names -----------------------------------------------

mkdir -p "$VX_TMP/src"
printf 'short name' >"$VX_TMP/src/a.txt"
windows_length() { local p; p=$(vx_path "$1"); printf '%s' "${#p}"; }
for length in 253 254 255 256 257 258 259; do
  prefix=$VX_TMP/p$length/
  # prefix, the folder's name, "\a.txt"
  dst=$prefix$(printf 'd%.0s' $(seq 1 $((length - $(windows_length "$prefix") - 6))))
  [ "$(windows_length "$dst/a.txt")" = "$length" ] || fail "the target path is not $length characters long"
  vx_run "$(vx_path "$VX_TMP/src")" "$(vx_path "$dst")" "${S}SILENT" "${S}Q"
  assert_rc 0 "a target of $length characters"
  assert_eq "short name" "$(cat "$dst/a.txt" 2>/dev/null)" "a target of $length characters"
  [ -z "$(temporaries "$prefix")" ] || fail "a temporary file was left beside a target of $length characters"
done
# A failed copy beside such a target takes its temporary file with it.
chmod 0444 "$dst/a.txt"
printf 'newer' >"$VX_TMP/src/a.txt"
vx_run "$(vx_path "$VX_TMP/src")" "$(vx_path "$dst")" "${S}FORCE" "${S}SILENT" "${S}Q"
assert_rc 2 "a copy over a read-only target fails"
assert_eq "short name" "$(cat "$dst/a.txt")" "the read-only target was overwritten"
[ -z "$(temporaries "$VX_TMP/p259")" ] || fail "a failed copy left its temporary file"
pass "targets of 253 to 259 characters copy; a failed copy leaves no temporary file"

long=$(printf 'n%.0s' $(seq 1 246)).txt
mkdir -p "$VX_TMP/l/src"
printf 'long name' >"$VX_TMP/l/src/$long"
for round in first again; do
  vx_run "$(vx_path "$VX_TMP/l/src")" "$(vx_path "$VX_TMP/l/dst")" "${S}FORCE" "${S}V" "${S}SILENT" "${S}Q"
  assert_rc 0 "a 250-character name ($round)"
  assert_eq "long name" "$(cat "$VX_TMP/l/dst/$long" 2>/dev/null)" "a 250-character name ($round)"
done
[ -z "$(temporaries "$VX_TMP/l")" ] || fail "a temporary file was left beside the long name"
pass "a 250-character name copies and is overwritten through a temporary name"

# ---- Two runs, one log -----------------------------------------------------------------

for run in 1 2; do
  mkdir -p "$VX_TMP/log/src$run"
  (cd "$VX_TMP/log/src$run" && for i in $(seq 1 1500); do printf '%s' "$i" >"f$i.txt"; done)
done
log=$VX_TMP/log/JOURNAL.LOG
for run in 1 2; do
  timeout -s KILL 300 "$VX_WINE_RUN" "$VX_BIN" "$(vx_path "$VX_TMP/log/src$run")" "$(vx_path "$VX_TMP/log/dst$run")" \
    "${S}LOG:$(vx_path "$log");2" "${S}SILENT" "${S}Q" >"$VX_TMP/log/out$run" 2>&1 &
  eval "pid$run=\$!"
done
rc1=0 rc2=0
wait "$pid1" || rc1=$?
wait "$pid2" || rc2=$?
[ "$rc1" = 0 ] && [ "$rc2" = 0 ] || fail "two runs sharing a log: exit codes $rc1 and $rc2: $(head -c 400 "$VX_TMP/log/out1" "$VX_TMP/log/out2")"
for run in 1 2; do
  copied=$(grep -ac "src$run\\\\f[0-9]*\\.txt\" -> \"" "$log")
  assert_eq 1500 "$copied" "lines of run $run in the shared log"
  [ "$(ls "$VX_TMP/log/dst$run" | wc -l)" = 1500 ] || fail "run $run did not copy every file"
done
assert_eq 4 "$(grep -ac 'copie : ' "$log")" "start and end lines of both runs"
pass "two runs writing one log (1,500 files each): both end with 0, every line there"

# ---- Names the ANSI code page cannot hold ----------------------------------------------

names=$VX_TMP/names
mkdir -p "$names/src"
printf 'latin' >"$names/src/Omega.txt"
printf 'greek' >"$names/src/Ωmega.txt"
printf 'japanese' >"$names/src/日本.txt"
for ignore in "" "${S}C"; do
  rm -rf "$names/dst" "$names/JOURNAL.LOG"
  vx_run "$(vx_path "$names/src")" "$(vx_path "$names/dst")" $ignore "${S}LOG:$(vx_path "$names/JOURNAL.LOG");2" "${S}SILENT" "${S}Q"
  assert_rc 2 "names the code page cannot hold ${ignore:-without -C}"
  assert_contains "$names/JOURNAL.LOG" "$(ansi "Erreur lors de la copie de \"$(vx_path "$names/src")\\?mega.txt\"")" \
    "the lost name's failure is logged"
  [ "$(cat "$names/dst/Omega.txt" 2>/dev/null || echo latin)" = latin ] || fail "Ωmega.txt was copied as Omega.txt"
  assert_not_contains "$names/JOURNAL.LOG" "Omega.txt = " "a lost name was judged the same as another file"
  [ -z "$(find "$names/dst" -type f ! -name Omega.txt 2>/dev/null)" ] || fail "a file was made from a lost name: $(find "$names/dst" -type f)"
done
assert_eq latin "$(cat "$names/dst/Omega.txt")" "-C: Omega.txt is copied"
assert_contains "$names/JOURNAL.LOG" "$(ansi "Erreur lors de la copie de \"$(vx_path "$names/src")\\??.txt\"")" "-C: 日本.txt fails too"
[ "$(cat "$names/src/Ωmega.txt")" = greek ] && [ "$(cat "$names/src/日本.txt")" = japanese ] || fail "a source was changed"
pass "names the ANSI code page cannot hold: a failed copy, logged, exit 2, never another file"

# Linux names that no Windows name can be: Wine shows them as they are, and
# none may be taken for a path ("back\slash.txt" is no file in "back").
mkdir -p "$names/odd/back"
for n in 'a:b.txt' 'a*b.txt' 'q"t.txt' 'back\slash.txt' 'ok.txt'; do printf '%s' "$n" >"$names/odd/$n"; done
printf 'back' >"$names/odd/back/slash.txt"
rm -rf "$names/oddcopy"
vx_run "$(vx_path "$names/odd")" "$(vx_path "$names/oddcopy")" "${S}S" "${S}C" "${S}SILENT" "${S}Q"
assert_rc 2 "names no Windows name can be"
assert_eq "back/slash.txt ok.txt" "$(cd "$names/oddcopy" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')" \
  "names no Windows name can be: what was copied"
assert_eq back "$(cat "$names/oddcopy/back/slash.txt")" "back\\slash.txt was taken for back/slash.txt"
# A mirror whose destination holds such a name must not delete another file for it.
rm -rf "$names/odd/back/slash.txt" "$names/odd/"*[:*\"\\]*
printf 'back' >"$names/odd/back/slash.txt"
printf 'stray' >"$names/oddcopy/back\\slash.txt"
vx_run "$(vx_path "$names/odd")" "$(vx_path "$names/oddcopy")" "${S}S" "${S}SYNCHRONIZE" "${S}SILENT" "${S}Q"
assert_eq back "$(cat "$names/oddcopy/back/slash.txt" 2>/dev/null)" "the purge of back\\slash.txt deleted back/slash.txt"
pass "names with : * \" or \\ fail aloud, and never name another path"

# ---- A failed log trim keeps the log -------------------------------------------------

trim=$VX_TMP/trim
mkdir -p "$trim/logs" "$trim/src"
printf 'x' >"$trim/src/x.txt"
for i in $(seq 1 50); do printf 'ancienne ligne %s\r\n' "$i"; done >"$trim/logs/COPIE.LOG"
if chattr +i "$trim/logs" 2>/dev/null; then
  # Lines are still appended; no temporary file can be made beside the log.
  vx_run "$(vx_path "$trim/src")" "$(vx_path "$trim/dst")" "${S}LOG:$(vx_path "$trim/logs/COPIE.LOG");2;5" "${S}SILENT" "${S}Q"
  chattr -i "$trim/logs"
  assert_rc 1 "a trim that cannot replace the log"
  assert_eq 50 "$(grep -ac '^ancienne ligne' "$trim/logs/COPIE.LOG")" "the old lines after a failed trim"
  assert_contains "$trim/logs/COPIE.LOG" "$(ansi "Fin de copie")" "the session's lines after a failed trim"
  [ -z "$(temporaries "$trim")" ] || fail "a failed trim left its temporary file"
  pass "a trim that fails keeps the whole log"
else
  skip "chattr +i refused here: no failed trim"
fi
vx_run "$(vx_path "$trim/src")" "$(vx_path "$trim/dst")" "${S}LOG:$(vx_path "$trim/logs/COPIE.LOG");2;5" "${S}SILENT" "${S}Q"
assert_rc 0 "a trim"
assert_eq 5 "$(grep -ac $'\r$' "$trim/logs/COPIE.LOG")" "lines kept by the trim"
[ -z "$(temporaries "$trim")" ] || fail "the trim left its temporary file"
pass "the trim keeps the newest lines"
