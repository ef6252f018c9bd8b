#!/usr/bin/env bash
# A destination that fills up (a 1 MiB tmpfs) while an older copy is being
# overwritten: the old copy stays whole, no temporary file is left, the exit
# code is 2, and under -X the source stays.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "disk full"
vx_engine_ready || { skip "engine not built yet"; exit 0; }
vxf_mount_tmpfs "$VX_TMP/full" 1m || exit 0

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/full/dst
mkdir -p "$src" "$VX_TMP/keep"
head -c 900000 /dev/urandom >"$VX_TMP/keep/big.bin"
head -c 200000 /dev/urandom >"$VX_TMP/keep/old.bin"
printf 'small' >"$VX_TMP/keep/small.txt"

setup() {
  rm -rf "$src" "$dst"
  mkdir -p "$src" "$dst"
  cp "$VX_TMP/keep/big.bin" "$VX_TMP/keep/small.txt" "$src/"
  cp "$VX_TMP/keep/old.bin" "$dst/big.bin"
  touch -d '2001-01-01 12:00' "$dst/big.bin"
}

assert_old_kept() {
  cmp -s "$VX_TMP/keep/old.bin" "$dst/big.bin" || fail "$1: the old copy was not kept whole"
  local left
  left=$(cd "$dst" && find . -mindepth 1 ! -name big.bin ! -name small.txt)
  [ -z "$left" ] || fail "$1: left behind in the destination: $left"
}

# With the kernel's copy paths, then (through the shim) read and write only.
variants=("")
vxf_have_shim && variants+=("VXF_NO_KERNEL_COPY=1")
for variant in "${variants[@]}"; do
  label=${variant:-kernel copy}
  VXF_ENV=$variant
  for opts in "" "${S}X" "${S}V" "${S}X ${S}V"; do
    setup
    # shellcheck disable=SC2086
    vxf_run "$(vx_path "$src/big.bin")" "$(vx_path "$dst")" $opts "${S}SILENT"
    vxf_rc_clean "$label $opts"
    assert_rc 2 "$label $opts: a copy that does not fit"
    assert_old_kept "$label $opts"
    cmp -s "$VX_TMP/keep/big.bin" "$src/big.bin" || fail "$label $opts: the source was not kept"
  done

  # A new target that does not fit leaves nothing; -C goes on with the rest.
  setup
  rm "$dst/big.bin"
  dd if=/dev/zero of="$dst/filler" bs=1k count=200 status=none
  vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}C" "${S}X" "${S}SILENT"
  vxf_rc_clean "$label -C"
  assert_rc 2 "$label -C: one failed copy"
  [ ! -e "$dst/big.bin" ] || fail "$label: a new target that did not fit was left"
  assert_eq small "$(cat "$dst/small.txt")" "$label -C: the file that fits is moved"
  [ ! -e "$src/small.txt" ] && [ -e "$src/big.bin" ] || fail "$label -C -X: wrong sources deleted"
  left=$(cd "$dst" && find . -mindepth 1 ! -name filler ! -name small.txt)
  [ -z "$left" ] || fail "$label -C: left behind: $left"
  pass "disk full ($label): old copy whole, no temporary file, exit 2, sources kept"
done
VXF_ENV=
