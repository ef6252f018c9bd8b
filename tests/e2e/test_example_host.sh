#!/usr/bin/env bash
# The example C host (examples/host): it loads the library by name, checks
# the exports by name (and by ordinal on Windows), fills the record with
# FillCopyRec and runs a session with its own callbacks.
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
[ "$VX_WINE" = 1 ] && ordinals=5

run_host "$src" "$dst" "${VX_SW}P" "${VX_SW}W"
assert_rc 0 "session result"
assert_empty "$VX_ERR"
{
  echo "bibliotheque : Utilitaire de copie de fichiers et d'arborescences."
  echo "ordinaux : $ordinals sur 5"
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

run_host "$src" "$dst" troisieme
assert_rc 5 "refused command line"
assert_contains "$VX_OUT" "ligne de commande refusee"
pass "a refused command line never reaches ProcessCmdLine"

run_host --library "$(vx_path "$VX_TMP/absente/bibliotheque")" "$src"
assert_rc 10 "a library that cannot be loaded"
pass "a library that cannot be loaded is reported by the host"
