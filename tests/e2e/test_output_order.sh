#!/usr/bin/env bash
# Standard output and error redirected into one file (>out 2>&1): the
# program's texts, the library's purge notice (Linux: on standard error), the
# questions, an error and the total come in the order they happened, and a
# console that cannot be written still ends in the French report.
source "$(dirname "$0")/lib.sh"

vx_engine_ready || { skip "parser or session not built yet"; exit 0; }

run_merged() {  # args...: like vx_run, both streams into $VX_OUT
  : >"$VX_OUT"; : >"$VX_ERR"
  printf '%s' "$VX_INPUT" >"$VX_TMP/.stdin"
  VX_RC=0
  if [ "$VX_WINE" = 1 ]; then
    "$VX_WINE_RUN" "$VX_BIN" "$@" <"$VX_TMP/.stdin" >"$VX_OUT" 2>&1 || VX_RC=$?
  else
    "$VX_BIN" "$@" <"$VX_TMP/.stdin" >"$VX_OUT" 2>&1 || VX_RC=$?
  fi
}

# Two destinations: the first is mirrored and keeps a folder the purge cannot
# remove (it holds a hidden file), so the notice comes; in the second a folder
# takes the place of the file, so the copy fails. -P asks before each copy.
mkdir -p "$VX_TMP/src" "$VX_TMP/d1/ancien" "$VX_TMP/d2/a.txt/dedans"
printf 'un' >"$VX_TMP/src/a.txt"
printf 'cache' >"$VX_TMP/d1/ancien/.cache"
if [ "$VX_WINE" = 1 ]; then
  # Windows hides by attribute: Wine keeps it in user.DOSATTRIB.
  setfattr -n user.DOSATTRIB -v 0x2 "$VX_TMP/d1/ancien/.cache" 2>/dev/null ||
    attr -q -s DOSATTRIB -V 0x2 "$VX_TMP/d1/ancien/.cache"
fi
src=$(vx_path "$VX_TMP/src")
d1=$(vx_path "$VX_TMP/d1")
d2=$(vx_path "$VX_TMP/d2")
sep=/
[ "$VX_WINE" = 1 ] && sep='\'

eol=$VX_EOL
question() {  # target
  printf '%s' "$eol"
  vx_console $'Ce fichier à copier n\'existe pas :'"$eol"
  printf '%s%s' "$1" "$eol"
  vx_console $'Souhaitez-vous le créer ?'"$eol"
  printf 'Oui, Non, Tous, Annuler [ONTA]'
}

VX_INPUT=$'o\no\n' run_merged "$src" "$d1;$d2" "${VX_SW}SYNCHRONIZE" "${VX_SW}P"
assert_rc 2 "a failed copy"
{
  printf "Utilitaire de copie de fichiers et d'arborescences.%s" "$eol"
  printf 'Copyright (C) 2003-2026 Morlane%shttps://www.morlane.fr/veltrix%s%s' "$eol" "$eol" "$eol"
  question "$d1${sep}a.txt"
  printf '%s%s' "$src${sep}a.txt" "$eol"
  # The failed removal and its reason (whose words are the system's), then
  # the notice; Windows shows that in a message box, not on the console.
  printf 'Impossible de supprimer le dossier "%s".%sRaison :%s' "$d1${sep}ancien" "$eol" "$eol"
  [ "$VX_WINE" = 1 ] || printf '%s\n' "$VX_TMP/d1/ancien"
  question "$d2${sep}a.txt"
  printf '%s%s' "$src${sep}a.txt" "$eol"
  printf 'Erreur lors de la copie de "%s".%sRaison :%s' "$src${sep}a.txt" "$eol" "$eol"
  printf '%s1 ' "$eol"
  vx_console 'fichier(s) copié(s).'"$eol"
} >"$VX_TMP/expected"
LC_ALL=C sed -i $'s/^Raison :[^\r]*/Raison :/' "$VX_OUT"
assert_file_eq "$VX_TMP/expected" "$VX_OUT" "banner, questions, names, notice, error and total in order"
pass "a redirected run keeps the order of banner, questions, notice, error and total"

# A failure raised in the library: what was written before it comes first.
run_merged "$src" "$d1" "${VX_SW}D:xyz"
assert_rc 1 "unconvertible date"
assert_eq "Utilitaire de copie de fichiers et d'arborescences.${eol%$'\n'}" "$(head -n 1 "$VX_OUT")" \
  "banner before the report"
assert_eq "5" "$(grep -n '^Exception EConversion' "$VX_OUT" | cut -d: -f1)" "report after the banner"
pass "the failure report follows the banner"

# ---- A console that cannot be written (Linux): a full device, a closed pipe ----

if [ "$VX_WINE" = 0 ]; then
  VX_RC=0
  "$VX_BIN" -help >/dev/full 2>"$VX_ERR" </dev/null || VX_RC=$?
  assert_rc 1 "standard output on a full device"
  assert_contains "$VX_ERR" "Exception EEntreeSortie dans le module "
  assert_contains "$VX_ERR" "Erreur d'écriture sur la sortie standard : "

  # More than two 64 KiB blocks of names: the reader is gone after one byte.
  mkdir -p "$VX_TMP/many"
  (cd "$VX_TMP/many" && for i in $(seq 1 1500); do : >"fichier_au_nom_assez_long_pour_remplir_les_blocs_$i.txt"; done)
  "$VX_BIN" "$VX_TMP/many" "$VX_TMP/nulle_part" -L 2>"$VX_ERR" </dev/null | head -c 1 >/dev/null
  VX_RC=${PIPESTATUS[0]}
  assert_rc 1 "standard output into a closed pipe"
  assert_contains "$VX_ERR" "Exception EEntreeSortie dans le module "
  pass "a full device or a closed pipe ends in the report with exit code 1"
fi
