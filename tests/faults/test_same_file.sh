#!/usr/bin/env bash
# A target that is the source itself: the same folder twice, a hard link, a
# link to the file, a destination folder that is a link to the source folder.
# Under every mix of -FORCE, -X and -V no byte of any file may be lost.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
ref=$VX_TMP/ref
mkdir -p "$ref/sub"
head -c 70000 /dev/urandom >"$ref/same.bin"
printf 'plain text\n' >"$ref/other.txt"
printf 'deep\n' >"$ref/sub/deep.txt"

# fresh CASE: the source tree in $src and, per case, the destination $dst.
fresh() {
  rm -rf "$VX_TMP/case"
  mkdir -p "$VX_TMP/case"
  src=$VX_TMP/case/src
  cp -a "$ref" "$src"
  case "$1" in
    folder) dst=$src ;;
    folder-spelt) dst=$src/sub/.. ;;
    folder-case) dst=$VX_TMP/case/SRC ;;  # Windows names ignore case
    hardlink) dst=$VX_TMP/case/dst; mkdir "$dst"; ln "$src/same.bin" "$dst/same.bin" ;;
    symlink) dst=$VX_TMP/case/dst; mkdir "$dst"; ln -s "$src/same.bin" "$dst/same.bin" ;;
    folderlink) dst=$VX_TMP/case/dst; ln -s "$src" "$dst" ;;
  esac
}

# Every file of the reference still whole at its source place.
assert_sources_whole() {
  local f
  for f in same.bin other.txt sub/deep.txt; do
    case "$2" in *X*) [ "$f" = same.bin ] || continue ;; esac
    [ -f "$src/$f" ] || fail "$1: $f lost from the source"
    cmp -s "$ref/$f" "$src/$f" || fail "$1: $f changed in the source"
  done
  # Linux sees the folder spelt in other letters only through its own name.
  local target=$dst
  [ "$target" != "$VX_TMP/case/SRC" ] || target=$src
  cmp -s "$ref/same.bin" "$target/same.bin" || fail "$1: the target of same.bin differs"
}

cases="folder folder-spelt hardlink symlink folderlink"
if [ "$VX_WINE" = 1 ]; then
  # Wine sees hard links and links through to one file, as Linux does.
  cases="folder folder-case hardlink folderlink"
fi
for c in $cases; do
  for force in "" "${S}FORCE"; do
    for move in "" "${S}X"; do
      for verify in "" "${S}V"; do
        fresh "$c"
        what="$c $force $move $verify"
        vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}S" $force $move $verify "${S}SILENT" "${S}Q"
        vxf_rc_clean "$what"
        assert_sources_whole "$what" "$move"
        case "$c" in folder*) assert_rc 0 "$what: nothing to do is no error" ;; esac
      done
    done
  done
  pass "$c: -FORCE, -X, -V in every mix keep every byte"
done

# A single file named as its own destination folder's file, moved.
fresh folder
vxf_run "$(vx_path "$src/same.bin")" "$(vx_path "$src")" "${S}X" "${S}FORCE" "${S}V" "${S}SILENT"
vxf_rc_clean "file onto itself"
cmp -s "$ref/same.bin" "$src/same.bin" || fail "a file moved onto itself was lost"
pass "a file named as its own target survives -X -FORCE -V"
