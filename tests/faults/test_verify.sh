#!/usr/bin/env bash
# Verification against a shim that corrupts one written byte: -V reports the
# digest difference (exit 3 and the MD5 log line) and -X keeps the source.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "corrupted write"
vxf_require_shim "corrupted write"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
log=$VX_TMP/logs/copie.log
mkdir -p "$VX_TMP/keep"
head -c 300000 /dev/urandom >"$VX_TMP/keep/f.bin"
printf 'second' >"$VX_TMP/keep/g.txt"
good=$(vxf_sum "$VX_TMP/keep/f.bin")

# setup DST: the sources, and an older copy in DST so that -X copies rather
# than renames.
setup() {
  dst=$1
  rm -rf "$src" "$dst" "$log"
  mkdir -p "$src" "$dst"
  cp "$VX_TMP/keep/f.bin" "$VX_TMP/keep/g.txt" "$src/"
  printf 'older' >"$dst/f.bin"
  touch -d '2001-01-01 12:00' "$dst/f.bin"
}

run_corrupted() {
  VXF_ENV="VXF_WRITE_MATCH=$dst/ VXF_CORRUPT=1 VXF_CORRUPT_MIN=1000"
  vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}V" "$@" "${S}SILENT" "${S}LOG:$(vx_path "$log");2"
  VXF_ENV=
  vxf_rc_clean "corrupted copy $*"
}

check_report() {
  local bad
  bad=$(vxf_sum "$dst/f.bin")
  [ "$bad" != "$good" ] || fail "$1: the shim did not corrupt the copy"
  good_hex=${good^^}
  bad_hex=${bad^^}
  assert_contains "$log" "MD5($src/f.bin) <> MD5($dst/f.bin) - $good_hex <> $bad_hex" "$1: MD5 line"
}

destinations=("$VX_TMP/same_fs")
vxf_mount_tmpfs "$VX_TMP/other_fs" 8m && destinations+=("$VX_TMP/other_fs/dst")
for d in "${destinations[@]}"; do
  where=${d#"$VX_TMP"/}
  for move in "" "${S}X"; do
    setup "$d"
    run_corrupted $move
    assert_rc 3 "$where $move: a digest difference"
    check_report "$where $move"
    [ "$(vxf_sum "$src/f.bin")" = "$good" ] || fail "$where $move: the source was not kept"
    [ -e "$src/g.txt" ] || fail "$where $move: the run went on after the difference"
  done

  # -C goes on: the difference is a logged error (exit 2), the source stays,
  # the next file is moved.
  setup "$d"
  run_corrupted "${S}X" "${S}C"
  assert_rc 2 "$where -X -C: the logged difference"
  check_report "$where -X -C"
  [ "$(vxf_sum "$src/f.bin")" = "$good" ] || fail "$where -X -C: the source of a bad copy was deleted"
  [ ! -e "$src/g.txt" ] && [ "$(cat "$d/g.txt")" = second ] || fail "$where -X -C: the good file was not moved"
  pass "$where: a corrupted copy gives the MD5 line, exit 3 (2 with -C), the source stays"
done
