#!/usr/bin/env bash
# Roots are held from the start of their pair to its end. The run is paused
# at its first -P question, once it has opened both roots; meanwhile the
# owner of a root's parent swaps the root for a link to a folder outside (or
# for an empty folder). The purge, the copy back and the removal of an
# emptied source then still work on the folders the copy worked on: nothing
# outside is deleted, read or removed, and no destination file is lost.
# Under Wine, whose calls relative to a held folder go by its path again, a
# Linux process renaming a held root makes the later copies fail: only
# "nothing outside touched, nothing lost" is asked there.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
T=$VX_TMP
outside=$T/outside

setup() {
  rm -rf "$T/src" "$T/dst" "$T/dst.real" "$T/src.real" "$T/p" "$T/p.real" "$outside"
  mkdir -p "$T/src" "$T/dst" "$outside/src"
  for i in 1 2 3; do printf 'source %s' "$i" >"$T/src/f$i.txt"; done
  printf 'stale' >"$T/dst/stale.txt"
  for i in 1 2 3 4; do printf 'OUTSIDE %s' "$i" >"$outside/o$i.txt"; done
}

# paused_run SWAP ARGS...: the run, with SWAP (a shell function) called
# while it waits for its first answer, then "T" (all) given.
paused_run() {
  local swap=$1 pipe=$T/.answers waited=0
  shift
  rm -f "$pipe" && mkfifo "$pipe"
  : >"$VX_OUT"; : >"$VX_ERR"
  if [ "$VX_WINE" = 1 ]; then
    timeout -s KILL 60 "$VX_WINE_RUN" "$VX_BIN" "$@" "${S}P" <"$pipe" >"$VX_OUT" 2>"$VX_ERR" &
  else
    timeout -s KILL 60 "$VX_BIN" "$@" "${S}P" <"$pipe" >"$VX_OUT" 2>"$VX_ERR" &
  fi
  local pid=$!
  exec 7>"$pipe"
  until grep -q "Oui, Non, Tous, Annuler" "$VX_OUT" 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 1))
    [ "$waited" -lt 400 ] || { exec 7>&-; kill -KILL "$pid"; fail "no question came: $*"; }
  done
  "$swap"
  printf 'T\r\n' >&7
  exec 7>&-
  VX_RC=0
  wait "$pid" || VX_RC=$?
  vxf_rc_clean "$*"
}

dest_for_link() { mv "$T/dst" "$T/dst.real" && ln -s "$outside" "$T/dst"; }
source_for_empty() { mv "$T/src" "$T/src.real" && mkdir "$T/src"; }
parent_for_link() { mv "$T/p" "$T/p.real" && ln -s "$outside" "$T/p"; }

outside_intact() {
  local names
  names=$(cd "$outside" && find . | sort | tr '\n' ' ')
  assert_eq ". ./o1.txt ./o2.txt ./o3.txt ./o4.txt ./src " "$names" "$1: the folder outside changed"
}

setup
paused_run dest_for_link "$(vx_path "$T/src")" "$(vx_path "$T/dst")" "${S}SYNCHRONIZE"
outside_intact "mirror, destination swapped for a link"
native() { [ "$VX_WINE" = 0 ]; }
if native; then
  assert_eq "source 3" "$(cat "$T/dst.real/f3.txt")" "mirror: the copy left the held destination"
  [ ! -e "$T/dst.real/stale.txt" ] || fail "mirror: the held destination was not purged"
fi
pass "mirror: a destination swapped for a link mid-run is purged as the folder held, nothing outside deleted"

setup
paused_run dest_for_link "$(vx_path "$T/src")" "$(vx_path "$T/dst")" "${S}BISYNCHRONIZE"
outside_intact "two-way, destination swapped for a link"
[ ! -e "$T/src/o1.txt" ] || fail "two-way: files outside were copied into the source"
! native || assert_eq "stale" "$(cat "$T/src/stale.txt" 2>/dev/null)" "two-way: the copy back left the held destination"
pass "two-way: the copy back reads the destination held, never the folder outside"

setup
cp "$T/src/f1.txt" "$T/src/f2.txt" "$T/dst/"
paused_run source_for_empty "$(vx_path "$T/src")" "$(vx_path "$T/dst")" "${S}SYNCHRONIZE"
# Wine reaches the source by its path again (see the README): there the
# purge may follow the swap, and only "nothing lost" holds.
for i in 1 2 3; do
  [ -f "$T/dst/f$i.txt" ] || { ! native && [ -f "$T/src.real/f$i.txt" ]; } ||
    fail "mirror, source swapped for an empty folder: dst/f$i.txt deleted"
done
pass "mirror: a source swapped for an empty folder mid-run purges against the folder held"

setup
mkdir -p "$T/p" && mv "$T/src" "$T/p/src"
paused_run parent_for_link "$(vx_path "$T/p/src")" "$(vx_path "$T/dst")" "${S}X"
outside_intact "move, source's parent swapped for a link"
! native || [ ! -e "$T/p.real/src" ] || fail "move: the emptied source held was not removed"
for i in 1 2 3; do
  [ -f "$T/dst/f$i.txt" ] || [ -f "$T/p.real/src/f$i.txt" ] || fail "move: f$i.txt lost"
done
pass "move: the emptied source is removed as the folder held, never an empty folder outside"
