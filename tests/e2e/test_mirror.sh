#!/usr/bin/env bash
# SYNCHRONIZE and BISYNCHRONIZE through the program, and what a mirror must
# never delete.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
mkdir -p "$src/sub/deep" "$src/same"
printf 'one' >"$src/one.txt"
printf 'two' >"$src/sub/two.txt"
printf 'three' >"$src/sub/deep/three.txt"
printf 'same' >"$src/same/same.txt"

# A destination with extra files and folders, a file where the source has a
# folder, and a folder where the source has a file.
make_destination() {
  rm -rf "$1"
  mkdir -p "$1/sub/old/older" "$1/extra" "$1/one.txt" "$1/same"
  printf 'x' >"$1/extra/x.txt"
  printf 'y' >"$1/sub/old/older/y.txt"
  printf 'z' >"$1/sub/z.txt"
  printf 'stale' >"$1/same/same.txt"
  printf 'w' >"$1/sub/deep"
}

make_destination "$VX_TMP/mirror"
# The copy comes before the purge: a file whose place holds a folder fails to
# copy in the first run (counted: exit 2) and lands in the second.
vx_run "$(vx_path "$src")" "$(vx_path "$VX_TMP/mirror")" "${S}E" "${S}SYNCHRONIZE" "${S}C" "${S}SILENT" "${S}Q"
assert_rc 2 "first mirror run with conflicts"
vx_run "$(vx_path "$src")" "$(vx_path "$VX_TMP/mirror")" "${S}E" "${S}SYNCHRONIZE" "${S}C" "${S}SILENT" "${S}Q"
assert_rc 0 "second mirror run"
if command -v rsync >/dev/null; then
  make_destination "$VX_TMP/reference"
  rsync -a --delete --force "$src/" "$VX_TMP/reference/"
  diff -r "$VX_TMP/reference" "$VX_TMP/mirror" >"$VX_TMP/diff" || { cat "$VX_TMP/diff"; fail "mirror differs from rsync -a --delete"; }
else
  diff -r "$src" "$VX_TMP/mirror" >/dev/null || fail "mirror differs from the source"
fi
pass "SYNCHRONIZE makes the destination equal to the source"

# -L -SYNCHRONIZE names on standard output each file and folder the mirror
# would delete and deletes nothing; log mode 3 names each one it deletes, and
# gives failed copies their reason (counted as mode 3 always counted: not).
sep=/; [ "$VX_WINE" = 1 ] && sep='\'
deletions() {  # prefix of files, prefix of folders, end: the lines expected, sorted
  local f
  for f in extra/x.txt sub/deep sub/old/older/y.txt sub/z.txt; do
    printf '%s"%s%s"%s\n' "$1" "$dst" "$sep${f//\//$sep}" "$3"
  done
  for f in extra one.txt sub/old sub/old/older; do
    printf '%s"%s%s"%s\n' "$2" "$dst" "$sep${f//\//$sep}" "$3"
  done
}
make_destination "$VX_TMP/preview"
dst=$(vx_path "$VX_TMP/preview")
(cd "$VX_TMP/preview" && find . | sort) >"$VX_TMP/before"
vx_run "$(vx_path "$src")" "$dst" "${S}S" "${S}L" "${S}SYNCHRONIZE"
assert_rc 0 "-L -SYNCHRONIZE"
(cd "$VX_TMP/preview" && find . | sort) | cmp -s "$VX_TMP/before" - || fail "-L -SYNCHRONIZE changed the destination"
{ deletions "$(vx_library 'À supprimer : ')" "$(vx_library 'Dossier à supprimer : ')" ""; } | sort >"$VX_TMP/expected"
grep -a 'supprimer : "' "$VX_OUT" | tr -d '\r' | sort >"$VX_TMP/listed"
assert_file_eq "$VX_TMP/expected" "$VX_TMP/listed" "-L -SYNCHRONIZE lists each deletion"
assert_contains "$VX_OUT" "$(vx_path "$src/sub/two.txt")" "the copies are listed too"
pass "-L -SYNCHRONIZE names every deletion and deletes nothing"

vx_run "$(vx_path "$src")" "$dst" "${S}E" "${S}SYNCHRONIZE" "${S}C" "${S}Q" "${S}LOG:$(vx_path "$VX_TMP/M3.LOG");3"
assert_rc 0 "mirror with log mode 3 and failed copies under -C"
[ ! -e "$VX_TMP/preview/extra" ] && [ ! -e "$VX_TMP/preview/sub/old" ] || fail "mode 3: not purged"
{ deletions "$(vx_library 'Supprimé : ')" "$(vx_library 'Dossier supprimé : ')" "."; } | sort >"$VX_TMP/expected"
tr -d '\r' <"$VX_TMP/M3.LOG" | LC_ALL=C sed -n 's/^  .\{8,\} : \(.*upprim[^:]* : ".*\)$/\1/p' | sort >"$VX_TMP/logged"
assert_file_eq "$VX_TMP/expected" "$VX_TMP/logged" "log mode 3 names each deletion"
grep -a 'Erreur lors de la copie de ' "$VX_TMP/M3.LOG" | grep -a 'one.txt" vers ' | grep -aq '"\. Raison : .' ||
  fail "mode 3: the failed copy without its reason"
assert_contains "$VX_TMP/M3.LOG" "$(vx_path "$src/sub/two.txt")\" -> \"" "mode 3 logs the copies, as mode 2"
grep -aq 'Raison : .' "$VX_ERR" || fail "no reason on standard error"
assert_contains "$VX_ERR" "Erreur lors de la copie de \"$(vx_path "$src")${sep}one.txt\" vers " "the failure under -C on stderr"
pass "log mode 3 names every deletion and the reason of every failed copy; stderr the reason"

a=$VX_TMP/a
b=$VX_TMP/b
mkdir -p "$a/sub" "$b/sub"
printf 'only a' >"$a/only_a.txt"
printf 'only b' >"$b/sub/only_b.txt"
printf 'old' >"$a/sub/both.txt"
printf 'new' >"$b/sub/both.txt"
printf 'new too' >"$a/other.txt"
printf 'old too' >"$b/other.txt"
touch -d '2020-01-01 10:00' "$a/sub/both.txt" "$b/other.txt"
touch -d '2024-06-01 10:00' "$b/sub/both.txt" "$a/other.txt"
vx_run "$(vx_path "$a")" "$(vx_path "$b")" "${S}S" "${S}BISYNCHRONIZE" "${S}SILENT" "${S}Q"
assert_rc 0 "two-way sync"
for side in "$a" "$b"; do
  assert_eq new "$(cat "$side/sub/both.txt")" "newer file wins in $side"
  assert_eq "new too" "$(cat "$side/other.txt")" "newer file wins in $side"
  [ -e "$side/only_a.txt" ] && [ -e "$side/sub/only_b.txt" ] || fail "one-sided file missing in $side"
done
pass "BISYNCHRONIZE leaves the newer copy of every file on both sides"

# ---- What a mirror must never delete ---------------------------------------------

guarded=$VX_TMP/guarded
mkdir -p "$guarded/kept/inner"
printf 'k' >"$guarded/kept/inner/k.txt"
printf 'g' >"$guarded/g.txt"

vx_run "$(vx_path "$VX_TMP/no_such_source")" "$(vx_path "$guarded")" "${S}SYNCHRONIZE" "${S}SILENT"
[ -e "$guarded/g.txt" ] && [ -e "$guarded/kept/inner/k.txt" ] || fail "a missing source emptied the destination"
mkdir -p "$VX_TMP/masked"
printf 'm' >"$VX_TMP/masked/m.txt"
vx_run "$(vx_path "$VX_TMP/masked")${sep}*.txt" "$(vx_path "$guarded")" "${S}SYNCHRONIZE" "${S}SILENT"
assert_rc 0 "mask source"
[ -e "$guarded/g.txt" ] && [ -e "$guarded/kept/inner/k.txt" ] && [ -e "$guarded/m.txt" ] ||
  fail "a mask source purged the destination"
vx_run "$(vx_path "$VX_TMP/masked/m.txt")" "$(vx_path "$guarded")" "${S}SYNCHRONIZE" "${S}SILENT"
[ -e "$guarded/g.txt" ] || fail "a file source purged the destination"
pass "missing, mask and file sources purge nothing"

# A run that only lists deletes nothing, whatever the mode.
vx_run "$(vx_path "$VX_TMP/masked")" "$(vx_path "$guarded")" "${S}L" "${S}SYNCHRONIZE" "${S}SILENT" "${S}Q"
assert_rc 0 "-L -SYNCHRONIZE"
[ -e "$guarded/g.txt" ] && [ -e "$guarded/kept/inner/k.txt" ] || fail "-L -SYNCHRONIZE deleted from the destination"
pass "-L -SYNCHRONIZE only lists"

if [ "$VX_WINE" = 0 ]; then
  outside=$VX_TMP/outside
  mkdir -p "$outside" "$VX_TMP/linked/dst" "$VX_TMP/linked/src"
  printf 'precious' >"$outside/precious.txt"
  ln -s "$outside" "$VX_TMP/linked/dst/escape"
  ln -s "$outside/precious.txt" "$VX_TMP/linked/dst/file_link"
  vx_run "$VX_TMP/linked/src" "$VX_TMP/linked/dst" "${S}SYNCHRONIZE" "${S}SILENT"
  assert_rc 0 "mirror with links in the destination"
  assert_eq precious "$(cat "$outside/precious.txt")" "file behind a link"
  [ ! -L "$VX_TMP/linked/dst/escape" ] && [ ! -L "$VX_TMP/linked/dst/file_link" ] ||
    fail "links without counterpart stay in the mirror"
  pass "links in the destination are removed, never followed"

  # The source inside the destination is never purged.
  mkdir -p "$VX_TMP/outer/inner"
  printf 'i' >"$VX_TMP/outer/inner/i.txt"
  vx_run "$VX_TMP/outer/inner" "$VX_TMP/outer" "${S}SYNCHRONIZE" "${S}SILENT"
  assert_eq i "$(cat "$VX_TMP/outer/inner/i.txt")" "source inside the destination"
  pass "a source inside its destination survives the mirror"
fi
