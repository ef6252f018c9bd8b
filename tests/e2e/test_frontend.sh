#!/usr/bin/env bash
# The console program end to end: banner, SILENT, help page bytes, exit
# codes, the failure report, and questions answered from standard input.
source "$(dirname "$0")/lib.sh"

expected=$VX_TMP/expected
title="Utilitaire de copie de fichiers et d'arborescences."

# The help page, then an empty line and the two closing lines.
{
  vx_help_page
  printf '%s' "$VX_EOL"
  vx_console $'Si vous n\'avez pas pu lire le début de cette page d\'aide, exécutez :'"$VX_EOL"
  printf 'Veltrix --help | more%s' "$VX_EOL"
} >"$expected"

# ---- Help --------------------------------------------------------------------

vx_run "${VX_SW}silent" "${VX_SW}help" src
assert_rc 0 "-silent -help"
assert_file_eq "$expected" "$VX_OUT" "help page without banner"
assert_empty "$VX_ERR"
pass "help page bytes, no banner under SILENT"

if [ "$VX_WINE" = 1 ]; then help_switch='/?'; else help_switch='-?'; fi
vx_run "$help_switch"
assert_rc 0 "$help_switch"
# Banner: title, the two lines of the notice, an empty line.
# Under Wine a CR ends each line before its LF; on Linux none is left.
cr=${VX_EOL%$'\n'}
assert_eq "$title$cr" "$(head -n 1 "$VX_OUT")" "banner title"
assert_eq "$cr" "$(sed -n 4p "$VX_OUT")" "empty line after the notice"
tail -n +5 "$VX_OUT" >"$VX_TMP/page"
assert_file_eq "$expected" "$VX_TMP/page" "help page after the banner"
pass "$help_switch prints banner and page"

if [ "$VX_WINE" = 0 ]; then
  vx_run --help
  assert_rc 0 "--help"
  tail -n +5 "$VX_OUT" >"$VX_TMP/page"
  assert_file_eq "$expected" "$VX_TMP/page" "--help page"
  pass "--help"
fi

# ---- Version ------------------------------------------------------------------

version=$(sed -n 's/^project(Veltrix VERSION \([0-9.]*\).*/\1/p' "$(dirname "$VX_HELP_RESOURCE")/../CMakeLists.txt")
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
vx_run --version
assert_rc 0 "--version"
assert_eq "Veltrix $version${VX_EOL%$'\n'}" "$(cat "$VX_OUT")" "--version"
assert_eq 1 "$(wc -l <"$VX_OUT" | tr -d ' ')" "--version prints one line"
assert_empty "$VX_ERR"
pass "--version prints the name and version, exit code 0"

# ---- Refused command line ----------------------------------------------------

hint=$(vx_console "Ligne de commande refusée : Veltrix -? affiche l'aide.")
vx_run
assert_rc 5 "no arguments"
assert_eq 4 "$(wc -l <"$VX_OUT" | tr -d ' ')" "only the banner"
assert_eq "Aucune source dans la ligne de commande.$VX_EOL$hint$cr" "$(cat "$VX_ERR")" "reason and hint"
vx_run "${VX_SW}SILENT"
assert_rc 5 "SILENT alone"
assert_empty "$VX_OUT" "nothing printed when SILENT"
assert_empty "$VX_ERR"
pass "refused command line gives 5, its reason and a hint on stderr only, nothing under SILENT"

mkdir -p "$VX_TMP/s"
printf 'x' >"$VX_TMP/s/f"
vx_run "$(vx_path "$VX_TMP/s")" "$(vx_path "$VX_TMP/d")" "${VX_SW}STRICT" --dry-run
assert_rc 5 "unknown switch under -STRICT"
assert_eq 4 "$(wc -l <"$VX_OUT" | tr -d ' ')" "only the banner"
assert_eq 'Option inconnue : "--dry-run".'"$VX_EOL$hint$cr" "$(cat "$VX_ERR")" "the switch named"
[ ! -e "$VX_TMP/d" ] || fail "a refused command line copied"
vx_run "$(vx_path "$VX_TMP/s")" "$(vx_path "$VX_TMP/d")" --dry-run "${VX_SW}S"
assert_rc 0 "unknown switch without -STRICT"
assert_empty "$VX_ERR"
[ -f "$VX_TMP/d/f" ] || fail "without -STRICT an unknown switch stops the copy"
pass "-STRICT refuses an unknown switch by name; without it the switch is ignored"

# An argument that only holds SILENT after a blank or a quote is not the switch.
vx_run "x ${VX_SW}SILENT" "${VX_SW}L"
assert_rc 0 "quoted argument with a blank is a source"
assert_eq "$title$cr" "$(head -n 1 "$VX_OUT")" "banner kept for [x -SILENT]"
if [ "$VX_WINE" = 0 ]; then
  # (Under Wine the command line carries the quote as \", which the cut
  # rule of Windows command lines does not know.)
  vx_run "a\"b ${VX_SW}SILENT"
  assert_eq "$title$cr" "$(head -n 1 "$VX_OUT")" "banner kept for an argument with a quote"
fi
pass "arguments holding blanks and quotes are cut whole"

# ---- A console that cannot be written (Linux: standard output closed) ----------

if [ "$VX_WINE" = 0 ]; then
  VX_RC=0
  "$VX_BIN" -help >&- 2>"$VX_ERR" </dev/null || VX_RC=$?
  assert_rc 1 "closed standard output"
  assert_contains "$VX_ERR" "Exception EEntreeSortie dans le module "
  pass "a failed console write ends in the report with exit code 1"
fi

# ---- The help page comes from the library the program runs with (Linux: the
# program alone elsewhere, its library found only through the loader's path;
# then a library of the same name without the page) ------------------------------

if [ "$VX_WINE" = 0 ]; then
  mkdir -p "$VX_TMP/alone"
  cp "$VX_BIN" "$VX_TMP/alone/Veltrix"
  VX_RC=0
  LD_LIBRARY_PATH=$(dirname "$VX_BIN") "$VX_TMP/alone/Veltrix" -help >"$VX_OUT" 2>"$VX_ERR" </dev/null || VX_RC=$?
  assert_rc 0 "library found through LD_LIBRARY_PATH"
  tail -n +5 "$VX_OUT" >"$VX_TMP/page"
  assert_file_eq "$expected" "$VX_TMP/page" "help page read from the loaded library"
  assert_empty "$VX_ERR"
  pass "the help page is read from the library actually loaded"

  if [ -n "${VX_C_COMPILER:-}" ]; then
    # The entry points the program imports and nothing else: no help page inside.
    mkdir -p "$VX_TMP/bare"
    printf '%s\n' '#include <stdbool.h>' '#include <stdint.h>' \
      'int32_t ProcessCmdLine(void) { return 0; }' 'bool FillCopyRec(void) { return false; }' \
      'bool NeedHelp(void) { return true; }' 'const char* GetCopyright(void) { return "c"; }' \
      'const char* GetTitle(void) { return "t"; }' 'int32_t TryFillCopyRec(void) { return -1; }' \
      'int32_t TryProcessCmdLine(void) { return -1; }' \
      >"$VX_TMP/bare/core.c"
    "$VX_C_COMPILER" -shared -fPIC -Wl,-soname,libVeltrixCore.so.1 "$VX_TMP/bare/core.c" \
      -o "$VX_TMP/bare/libVeltrixCore.so.1" || fail "stand-in library not built"
    VX_RC=0
    LD_LIBRARY_PATH=$VX_TMP/bare "$VX_TMP/alone/Veltrix" -help >"$VX_OUT" 2>"$VX_ERR" </dev/null || VX_RC=$?
    assert_rc 1 "missing resource"
    assert_contains "$VX_ERR" "Exception EResNotFound dans le module Veltrix dans "
    assert_contains "$VX_ERR" "Ressource CMDINFO non trouvée."
    assert_eq "t" "$(head -n 1 "$VX_OUT")" "banner flushed before the report"
    pass "a library without the help page: report on stderr, exit code 1"
  fi
fi

# ---- With the parser and the session ------------------------------------------

if ! vx_engine_ready; then
  skip "parser or session not built yet: failure report, questions at end of input"
  exit 0
fi

vx_run src dst "${VX_SW}D:xyz"
assert_rc 1 "unconvertible date"
assert_contains "$VX_ERR" "Exception "
assert_contains "$VX_ERR" "$(vx_console 'ne correspond pas à une date')"
assert_console_line_ends "$VX_ERR" "the failure report"
pass "a failure raised in the library reaches the program's report"

# A failure raised in the library names the library, whichever part raised
# it: the parser (date, integer), the entry lists, the log.
# The file the loader opened: its soname on Linux.
if [ "$VX_WINE" = 1 ]; then library=VeltrixCore.dll; else library=libVeltrixCore.so.1; fi
mkdir -p "$VX_TMP/r/src"
printf 'x' >"$VX_TMP/r/plain"
rsrc=$(vx_path "$VX_TMP/r/src")
rdst=$(vx_path "$VX_TMP/r/dst")
for failing in "EConversion|$rsrc|${VX_SW}D:99/99/9999" "EConversion|$rsrc|${VX_SW}D:+" \
               "EFOpen|file:$(vx_path "$VX_TMP/r/absent.lst")|" \
               "EEntreeSortie|$rsrc|${VX_SW}LOG:$(vx_path "$VX_TMP/r/plain/copie.log")"; do
  IFS='|' read -r kind source switch <<<"$failing"
  vx_run "$source" "$rdst" ${switch:+"$switch"} "${VX_SW}SILENT"
  assert_rc 1 "$kind $switch"
  assert_contains "$VX_ERR" "Exception $kind dans le module $library dans " "module of $kind ${switch:-$source}"
done
[ ! -e "$VX_TMP/r/dst" ] || fail "a run that failed at its start copied"
pass "failures of the parser, the lists and the log name $library"

mkdir -p "$VX_TMP/src" "$VX_TMP/dst"
printf 'un' >"$VX_TMP/src/a.txt"
src=$(vx_path "$VX_TMP/src")
dst=$(vx_path "$VX_TMP/dst")
question=$(vx_console 'Souhaitez-vous le créer ?')

VX_INPUT=$'x\nnon\n' vx_run "$src" "$dst" "${VX_SW}P" "${VX_SW}SILENT"
assert_rc 0 "answer non"
assert_eq 2 "$(grep -c "$question" "$VX_OUT")" "the question asked again after x"
[ ! -e "$VX_TMP/dst/a.txt" ] || fail "a file refused by the user was copied"
assert_contains "$VX_OUT" "0 $(vx_console 'fichier(s) copié(s).')"
pass "a question asked again on an unknown answer, then refused"

vx_run "$src" "$dst" "${VX_SW}P" "${VX_SW}SILENT"
assert_rc 1 "end of input at a question"
assert_eq 1 "$(grep -c "$question" "$VX_OUT")" "asked once at end of input"
pass "end of input at a question cancels, exit code 1"
