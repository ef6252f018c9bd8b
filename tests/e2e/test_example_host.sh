#!/usr/bin/env bash
# The example C host (examples/host): it loads the library by name, checks
# the seven exports by name (and by ordinal on Windows), and runs a session
# with its own callbacks: through TryFillCopyRec and TryProcessCmdLine, whose
# failures come back as values, or (--classique) FillCopyRec and ProcessCmdLine.
source "$(dirname "$0")/lib.sh"

: "${VX_HOST:?VX_HOST must name the example host}"
vx_engine_ready || { skip "parser or session not built yet"; exit 0; }

run_host() {
  : >"$VX_OUT"; : >"$VX_ERR"
  VX_RC=0
  if [ "$VX_WINE" = 1 ]; then
    "$VX_WINE_RUN" "$VX_HOST" "$@" </dev/null >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  else
    "$VX_HOST" "$@" </dev/null >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  fi
  tr -d '\r' <"$VX_OUT" >"$VX_TMP/out.txt"
}

mkdir -p "$VX_TMP/src" "$VX_TMP/dst"
printf 'un' >"$VX_TMP/src/a.txt"
printf 'deux' >"$VX_TMP/src/refus.txt"
src=$(vx_path "$VX_TMP/src")
dst=$(vx_path "$VX_TMP/dst")
sep=/
[ "$VX_WINE" = 1 ] && sep='\'
ordinals=0
[ "$VX_WINE" = 1 ] && ordinals=7
header() {
  echo "bibliotheque : Utilitaire de copie de fichiers et d'arborescences."
  echo "ordinaux : $ordinals sur 7"
}

run_host --classique "$src" "$dst" "${VX_SW}P" "${VX_SW}W"
assert_rc 0 "session result"
assert_empty "$VX_ERR"
{
  header
  echo "question 100 : (sans texte)"
  echo "question 101 : $dst${sep}a.txt"
  echo "fichier : $src${sep}a.txt"
  echo "question 101 : $dst${sep}refus.txt"
  echo "total : 1"
  echo "evenements : ouverture 1, debut 1, annulation 0, autres 0"
  echo "questions : 3"
  echo "resultat : 0"
} >"$VX_TMP/expected"
assert_file_eq "$VX_TMP/expected" "$VX_TMP/out.txt" "the host's callbacks, in order"
[ -f "$VX_TMP/dst/a.txt" ] || fail "the file answered yes was not copied"
[ ! -e "$VX_TMP/dst/refus.txt" ] || fail "the file answered no was copied"
pass "a C host loads the library by name and runs a session with its callbacks"

run_host --classique "$src" "$dst" troisieme
assert_rc 5 "refused command line"
assert_contains "$VX_OUT" "ligne de commande refusee"
pass "a refused command line never reaches ProcessCmdLine"

# ---- Failures as values ------------------------------------------------------------
mkdir -p "$VX_TMP/un"
printf 'un' >"$VX_TMP/un/a.txt"
un=$(vx_path "$VX_TMP/un")
essai() {
  echo "essai -D:abc : -1, $(vx_library "'ABC' ne correspond pas à une date et une heure correctes")"
  echo "essai -D:abc, message sur 12 octets : -1, 'ABC' ne co"
}
run_host "$un" "$(vx_path "$VX_TMP/dst2")" "${VX_SW}V"
assert_rc 0 "session result through TryProcessCmdLine"
assert_empty "$VX_ERR"
{
  header
  essai
  echo "fichier : $un${sep}a.txt"
  echo "progression : copie $un${sep}a.txt 0/2"
  echo "progression : copie $un${sep}a.txt 2/2"
  echo "progression : verification $un${sep}a.txt 0/2"
  echo "progression : verification $un${sep}a.txt 2/2"
  echo "total : 1"
  echo "rapports de progression : 4"
  echo "evenements : ouverture 1, debut 1, annulation 0, autres 0"
  echo "questions : 0"
  echo "resultat : 0"
} >"$VX_TMP/expected"
assert_file_eq "$VX_TMP/expected" "$VX_TMP/out.txt" "failure as a value, then a session with progress"
[ "$(cat "$VX_TMP/dst2/a.txt")" = un ] || fail "the session through TryProcessCmdLine did not copy"
pass "a C host gets -1 and the message for -D:abc, then runs a session with progress"

# A source that names nothing: the notice through ShowReport.
run_host "$(vx_path "$VX_TMP/absent")" "$(vx_path "$VX_TMP/dst4")"
assert_rc 0 "a source that names nothing"
assert_contains "$VX_OUT" "rapport 2 : $(vx_library "La source \"$(vx_path "$VX_TMP/absent")\" ne désigne aucun fichier ni dossier.")"
pass "a C host gets the engine's notices through ShowReport"

run_host "$un" "$(vx_path "$VX_TMP/dst3")" "${VX_SW}STRICT" --dry-run
assert_rc 5 "unknown switch under -STRICT"
assert_contains "$VX_OUT" 'ligne de commande refusee : Option inconnue : "--dry-run".'
[ ! -e "$VX_TMP/dst3" ] || fail "a refused command line copied"

# A log whose folder is a file: the session fails part-way, as a value.
run_host "$un" "$(vx_path "$VX_TMP/dst3")" "${VX_SW}LOG:$(vx_path "$VX_TMP/un/a.txt/journal.log")"
assert_rc 1 "failed session"
assert_contains "$VX_OUT" "echec : "
assert_contains "$VX_OUT" "resultat : -1"
pass "a refusal and a failed session come back to a C host as values"

run_host --library "$(vx_path "$VX_TMP/absente/bibliotheque")" "$src"
assert_rc 10 "a library that cannot be loaded"
pass "a library that cannot be loaded is reported by the host"
