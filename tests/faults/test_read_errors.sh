#!/usr/bin/env bash
# A source file that fails while it is read (the shim returns EIO): a failed
# copy is reported, no partial target is ever left, and -X keeps the source.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "read errors"
vxf_require_shim "read errors"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
log=$VX_TMP/copie.log
# A move to the same file system is a rename and reads nothing: a new target
# under -X needs another file system to be copied.
cross_fs=0
vxf_mount_tmpfs "$VX_TMP/other_fs" 8m && { cross_fs=1; dst=$VX_TMP/other_fs/dst; }
mkdir -p "$VX_TMP/keep"
head -c 400000 /dev/urandom >"$VX_TMP/keep/bad.bin"
printf 'fine' >"$VX_TMP/keep/fine.txt"

setup() {  # setup new|old
  rm -rf "$src" "$dst"
  mkdir -p "$src" "$dst"
  cp "$VX_TMP/keep/bad.bin" "$VX_TMP/keep/fine.txt" "$src/"
  if [ "$1" = old ]; then
    printf 'older copy' >"$dst/bad.bin"
    touch -d '2001-01-01 12:00' "$dst/bad.bin"
  fi
}

check_target() {  # check_target new|old WHAT
  if [ "$1" = old ]; then
    assert_eq "older copy" "$(cat "$dst/bad.bin")" "$2: the old target was not kept"
  else
    [ ! -e "$dst/bad.bin" ] || fail "$2: a partial target was left"
  fi
  local left
  left=$(cd "$dst" && find . -mindepth 1 ! -name bad.bin ! -name fine.txt)
  [ -z "$left" ] || fail "$2: left behind: $left"
}

for kernel in "" "VXF_NO_KERNEL_COPY=1"; do
  for after in 0 100000; do
    for target in new old; do
      for move in "" "${S}X"; do
        what="${kernel:-kernel copy} EIO after $after, $target target $move"
        [ "$cross_fs$target$move" != "0new${S}X" ] || continue
        setup "$target"
        VXF_ENV="$kernel VXF_READ_EIO=$src/bad.bin VXF_READ_EIO_AFTER=$after"
        rm -f "$log"
        vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" $move "${S}V" "${S}C" "${S}Q" "${S}LOG:$log;1"
        VXF_ENV=
        vxf_rc_clean "$what"
        assert_rc 2 "$what"
        assert_contains "$log" "Erreur lors de la copie de \"$src/bad.bin\"." "$what: the failure is logged"
        check_target "$target" "$what"
        cmp -s "$VX_TMP/keep/bad.bin" "$src/bad.bin" || fail "$what: the source was not kept"
        assert_eq fine "$(cat "$dst/fine.txt")" "$what: the next file is copied"
      done
    done
  done
done
# Without -C the run stops at the failure and says so.
setup old
VXF_ENV="VXF_READ_EIO=$src/bad.bin VXF_READ_EIO_AFTER=100000"
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}X" "${S}Q"
VXF_ENV=
vxf_rc_clean "EIO without -C"
assert_rc 2 "EIO without -C"
assert_contains "$VX_OUT" "Erreur lors de la copie de \"$src/bad.bin\"." "the failure is shown"
check_target old "EIO without -C"
cmp -s "$VX_TMP/keep/bad.bin" "$src/bad.bin" || fail "EIO without -C: the source was not kept"
[ -e "$src/fine.txt" ] && [ ! -e "$dst/fine.txt" ] || fail "EIO without -C: the run went on"
pass "a source that fails mid-read: failure reported, no partial target, the source stays"
