#!/usr/bin/env bash
# The program killed (SIGKILL) in the middle of a copy. The shim stalls the
# copy once half of it is written, so the kill always lands mid-copy:
# - while overwriting an older copy, the target is wholly old or wholly new,
#   and a rerun completes the copy (an unnamed temporary file leaves nothing;
#   a named one would stay, as nothing proves it is the program's own);
# - during a move to another file system (-X), every file is whole in the
#   source or in the destination;
# - during the log's trim, the log is whole: the old one or the trimmed one;
# - during a mirroring move (-S -X -Y -SYNCHRONIZE), the rerun loses nothing;
# - a storm of kills at random moments of moves prepared on 8 threads: every
#   file is whole on one side after each, and a rerun completes.
# The big file is VXF_BIG_MB MiB (64 by default, to keep CI fast; set 1024
# for the full-size case).
source "$(dirname "$0")/lib.sh"
vxf_linux_only "killed copies"
vxf_require_shim "killed copies"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
mark=$VX_TMP/stalled
keep=$VX_TMP/keep
mkdir -p "$keep"

# run_and_kill STALL_BYTES WRITE_MATCH ARGS...: runs the program until the
# shim reports the stall, then kills it.
run_and_kill() {
  local stall=$1 match=$2
  shift 2
  rm -f "$mark"
  env VXF_NO_KERNEL_COPY=1 VXF_WRITE_MATCH="$match" VXF_STALL_AFTER="$stall" VXF_STALL_MARK="$mark" \
    LD_PRELOAD="$VX_SHIM" ASAN_OPTIONS=verify_asan_link_order=0 \
    "$VX_BIN" "$@" "${S}SILENT" </dev/null >"$VX_OUT" 2>"$VX_ERR" &
  local pid=$! waited=0
  while [ ! -e "$mark" ] && kill -0 "$pid" 2>/dev/null && [ $waited -lt 1200 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ -e "$mark" ] || fail "the copy never reached the stall point"
}

# The program's temporary names: ".vx~", 12 characters of [a-z2-7], ".tmp".
temporaries() { find "$1" -name '.vx~????????????.tmp'; }

no_temporaries() {
  local left
  left=$(temporaries "$1")
  [ -z "$left" ] || fail "$2: temporary file left: $left"
}

# ---- Killed while overwriting an older copy ----------------------------------------

mb=${VXF_BIG_MB:-64}
src=$VX_TMP/src
dst=$VX_TMP/dst
mkdir -p "$src" "$dst"
head -c $((mb * 1048576)) /dev/urandom >"$src/big.bin"
head -c $((mb * 524288)) /dev/urandom >"$keep/old.bin"
for target in old new; do
  rm -rf "$dst"
  mkdir -p "$dst"
  if [ "$target" = old ]; then
    cp "$keep/old.bin" "$dst/big.bin"
    touch -d '2001-01-01 12:00' "$dst/big.bin"
  fi
  run_and_kill $((mb * 524288)) "$dst/" "$src/big.bin" "$dst"
  stale=$(temporaries "$dst" | wc -l)
  if [ "$target" = old ]; then
    cmp -s "$dst/big.bin" "$keep/old.bin" || cmp -s "$dst/big.bin" "$src/big.bin" ||
      fail "killed mid-overwrite: the target is neither the old nor the new file"
  else
    [ ! -e "$dst/big.bin" ] || cmp -s "$dst/big.bin" "$src/big.bin" ||
      fail "killed mid-copy: a partial new target"
  fi
  [ "$stale" = 0 ] || fail "killed mid-copy: an unnamed temporary file left a name"
  [ "$(find "$dst" -mindepth 1 | wc -l)" -le 1 ] || fail "killed mid-copy: more than the target in the folder"
  vxf_run "$src/big.bin" "$dst" "${S}SILENT"
  assert_rc 0 "rerun after the kill ($target target)"
  cmp -s "$dst/big.bin" "$src/big.bin" || fail "the rerun did not complete the copy ($target target)"
  no_temporaries "$dst" "rerun after the kill ($target target)"
  pass "killed during a $mb MiB copy over a $target target: never partial, nothing left beside it; the rerun completes"
done
rm -rf "$src" "$dst" "$keep/old.bin"

# ---- Killed during the log's trim ------------------------------------------------------

src=$VX_TMP/src
dst=$VX_TMP/dst
logs=$VX_TMP/logs
rm -rf "$src" "$dst" "$logs"
mkdir -p "$src" "$logs"
printf 'a' >"$src/a.txt"
for i in $(seq 1 2000); do printf 'ligne de journal %05d, assez longue pour peser\r\n' "$i"; done >"$logs/copie.log"
cp "$logs/copie.log" "$keep/copie.log"
# The trim writes the kept lines to a new file beside the log (the log's
# appends are not marked); the stall holds that write, and the kill lands.
run_and_kill 0 "$logs/" "$src" "$dst" "${S}LOG:$logs/copie.log;1;1000"
[ -s "$logs/copie.log" ] || fail "killed during the trim: the log is empty"
lines=$(wc -l <"$logs/copie.log")
head -c "$(stat -c %s "$keep/copie.log")" "$logs/copie.log" | cmp -s - "$keep/copie.log" || [ "$lines" = 1000 ] ||
  fail "killed during the trim: the log is neither the old one nor the trimmed one ($lines lines)"
tail -n 1 "$logs/copie.log" | grep -q $'\r$' || fail "killed during the trim: the log ends mid-line"
pass "killed during the log's trim: the log stays whole ($lines lines)"

# ---- Killed during a mirroring move, then run again ---------------------------------------

src=$VX_TMP/mirror_src
dst=$VX_TMP/archive
rm -rf "$src" "$dst"
mkdir -p "$src/sub" "$dst"
for i in $(seq 1 40); do head -c 100000 /dev/urandom >"$src/f$i.bin"; done
for i in $(seq 1 10); do head -c 100000 /dev/urandom >"$src/sub/g$i.bin"; done
(cd "$src" && find . -type f -exec md5sum {} + | sort -k2) >"$keep/mirror.sums"
# Another file system, so that every file is copied (and can be killed mid-copy).
vxf_mount_tmpfs "$VX_TMP/mirror_fs" 16m || exit 0
dst=$VX_TMP/mirror_fs/archive
mkdir -p "$dst"
run_and_kill 1500000 "$dst/" "$src" "$dst" "${S}S" "${S}X" "${S}Y" "${S}SYNCHRONIZE"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}X" "${S}Y" "${S}SYNCHRONIZE" "${S}SILENT"
vxf_rc_clean "rerun of the killed mirroring move"
assert_rc 0 "rerun of the killed mirroring move"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}X" "${S}Y" "${S}SYNCHRONIZE" "${S}SILENT"
assert_rc 0 "a second run of the mirroring move"
(cd "$dst" && find . -type f ! -name '.vx~*' -exec md5sum {} + | sort -k2) >"$VX_TMP/.moved.sums"
cmp -s "$keep/mirror.sums" "$VX_TMP/.moved.sums" || fail "the mirroring move lost files: $(diff "$keep/mirror.sums" "$VX_TMP/.moved.sums" | head -5)"
[ -z "$(find "$src" -type f)" ] || fail "the mirroring move left files in the source"
pass "killed during a mirroring move (-S -X -Y -SYNCHRONIZE), run twice again: all 50 files whole in the archive"

# ---- Killed during a move to another file system ------------------------------------

vxf_mount_tmpfs "$VX_TMP/other_fs" 32m || exit 0
# One file at a time the kill lands between files; with files prepared on
# several threads it may land before any is named. Neither loses a byte.
for threads in 1 8; do
src=$VX_TMP/other_fs/src
dst=$VX_TMP/dst
rm -rf "$src" "$dst"
mkdir -p "$src/sub" "$dst"
names="f1.bin f2.bin f3.bin sub/f4.bin sub/f5.bin"
for f in $names; do
  mkdir -p "$(dirname "$keep/$f")"
  head -c 2097152 /dev/urandom >"$keep/$f"
  cp "$keep/$f" "$src/$f"
done
run_and_kill 5000000 "$dst/" "$src" "$dst" "${S}S" "${S}X" "${S}THREADS:$threads"
moved=0
for f in $names; do
  whole=0
  if [ -e "$dst/$f" ]; then
    cmp -s "$keep/$f" "$dst/$f" || fail "killed move: $f is partial in the destination"
    whole=1
    moved=$((moved + 1))
  fi
  if [ -e "$src/$f" ]; then
    cmp -s "$keep/$f" "$src/$f" || fail "killed move: $f changed in the source"
    whole=1
  fi
  [ $whole = 1 ] || fail "killed move: $f is neither in the source nor in the destination"
done
[ $moved -lt 5 ] || fail "killed move: the kill came after the move ($threads threads)"
[ $threads != 1 ] || [ $moved -gt 0 ] || fail "killed move: the kill did not land mid-move"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}X" "${S}SILENT"
assert_rc 0 "rerun of the killed move"
for f in $names; do
  cmp -s "$keep/$f" "$dst/$f" || fail "rerun of the killed move: $f not whole in the destination"
  [ ! -e "$src/$f" ] || fail "rerun of the killed move: $f still in the source"
done
no_temporaries "$dst" "rerun of the killed move"
pass "killed during a move across file systems ($threads threads): every file whole on one side, the rerun completes"
done

# ---- A storm of kills, files prepared on 8 threads ----------------------------------

src=$VX_TMP/other_fs/storm dst=$VX_TMP/storm
rm -rf "$src" "$dst" "$keep/storm"
for d in a b c d; do
  mkdir -p "$keep/storm/$d"
  for i in $(seq 1 150); do head -c $((RANDOM % 20000 + 1)) /dev/urandom >"$keep/storm/$d/f$i"; done
done
ln "$keep/storm/a/f1" "$keep/storm/b/linked"
(cd "$keep/storm" && find . -type f -exec md5sum {} + | sort -k2) >"$keep/storm.sums"
moved=""
for round in $(seq 1 12); do
  # Each round from the start, and only the last one is completed by a rerun.
  rm -rf "$src" "$dst"
  cp -a "$keep/storm" "$src"
  mkdir -p "$dst"
  extra=()
  [ $((round % 2)) = 0 ] && extra=("${S}HARDLINKS")
  "$VX_BIN" "$src" "$dst" "${S}S" "${S}X" "${S}THREADS:8" "${extra[@]}" "${S}SILENT" </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep "0.0$((RANDOM % 9 + 1))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  # Each file whole in the source or the destination, never partial.
  bad=$( { (cd "$src" && find . -type f -exec md5sum {} +); echo --; (cd "$dst" && find . -type f -exec md5sum {} +); } |
    awk -v sums="$keep/storm.sums" 'BEGIN { while ((getline line < sums) > 0) { split(line, f, "  "); want[f[2]] = f[1] } }
      $0 == "--" { next } { name = substr($0, 35); if (name in want) { if ($1 != want[name]) print "partial " name; else seen[name] = 1 } }
      END { for (n in want) if (!(n in seen)) print "lost " n }' | head -3)
  [ -z "$bad" ] || fail "kill storm, round $round: $bad"
  moved+=" $(find "$dst" -type f | wc -l)"
done
vxf_run "$src" "$dst" "${S}S" "${S}X" "${S}SILENT"
assert_rc 0 "rerun after the kill storm"
(cd "$dst" && find . -type f -exec md5sum {} + | sort -k2) | cmp -s "$keep/storm.sums" - ||
  fail "kill storm: the rerun did not complete the move"
no_temporaries "$dst" "kill storm"
pass "12 kills at random moments of moves on 8 threads (files moved of 601:$moved): every file whole on one side, the rerun completes"
