#!/usr/bin/env bash
# The program killed (SIGKILL) in the middle of a copy. The shim stalls the
# copy once half of it is written, so the kill always lands mid-copy:
# - while overwriting an older copy, the target is wholly old or wholly new,
#   and a rerun completes the copy and clears any temporary file left;
# - during a move to another file system (-X), every file is whole in the
#   source or in the destination.
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

no_temporaries() {
  local left
  left=$(find "$1" -name '*.vxpart')
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
  stale=$(find "$dst" -name "*.vxpart" | wc -l)
  if [ "$target" = old ]; then
    cmp -s "$dst/big.bin" "$keep/old.bin" || cmp -s "$dst/big.bin" "$src/big.bin" ||
      fail "killed mid-overwrite: the target is neither the old nor the new file"
  else
    [ ! -e "$dst/big.bin" ] || cmp -s "$dst/big.bin" "$src/big.bin" ||
      fail "killed mid-copy: a partial new target"
  fi
  vxf_run "$src/big.bin" "$dst" "${S}SILENT"
  assert_rc 0 "rerun after the kill ($target target)"
  cmp -s "$dst/big.bin" "$src/big.bin" || fail "the rerun did not complete the copy ($target target)"
  no_temporaries "$dst" "rerun after the kill ($target target)"
  pass "killed during a $mb MiB copy over a $target target: never partial; the rerun completes and cleared $stale stale temporary file(s)"
done
rm -rf "$src" "$dst" "$keep/old.bin"

# ---- Killed during a move to another file system ------------------------------------

vxf_mount_tmpfs "$VX_TMP/other_fs" 32m || exit 0
src=$VX_TMP/other_fs/src
dst=$VX_TMP/dst
mkdir -p "$src/sub" "$dst"
names="f1.bin f2.bin f3.bin sub/f4.bin sub/f5.bin"
for f in $names; do
  mkdir -p "$(dirname "$keep/$f")"
  head -c 2097152 /dev/urandom >"$keep/$f"
  cp "$keep/$f" "$src/$f"
done
run_and_kill 5000000 "$dst/" "$src" "$dst" "${S}S" "${S}X"
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
[ $moved -gt 0 ] && [ $moved -lt 5 ] || fail "killed move: the kill did not land mid-move ($moved moved)"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" "${S}X" "${S}SILENT"
assert_rc 0 "rerun of the killed move"
for f in $names; do
  cmp -s "$keep/$f" "$dst/$f" || fail "rerun of the killed move: $f not whole in the destination"
  [ ! -e "$src/$f" ] || fail "rerun of the killed move: $f still in the source"
done
no_temporaries "$dst" "rerun of the killed move"
pass "killed during a move across file systems: every file whole on one side, the rerun completes"
