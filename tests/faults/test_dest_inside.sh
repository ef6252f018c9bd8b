#!/usr/bin/env bash
# A destination inside the source, with -S and -E: the run ends and the copy
# never copies its own output again.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
VXF_TIMEOUT=30
src=$VX_TMP/src
for dest_name in sauvegarde "sub/copie" zz; do
  for sw in S E; do
    rm -rf "$src"
    mkdir -p "$src/sub/deeper" "$src/empty"
    printf 'a' >"$src/a.txt"
    printf 'b' >"$src/sub/b.txt"
    printf 'c' >"$src/sub/deeper/c.txt"
    dst=$src/$dest_name
    for run in 1 2; do
      vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}$sw" "${S}SILENT" "${S}Q"
      vxf_rc_clean "$dest_name -$sw run $run"
      assert_rc 0 "$dest_name -$sw run $run"
    done
    for f in a.txt sub/b.txt sub/deeper/c.txt; do
      cmp -s "$src/$f" "$dst/$f" || fail "$dest_name -$sw: $f not copied"
    done
    # The output holds the source's files once, never a copy of itself.
    inner=$(find "$dst" -path "$dst/*$(basename "$dest_name")*" | head -1)
    [ -z "$inner" ] || fail "$dest_name -$sw: the copy holds a copy of itself: ${inner#"$VX_TMP"/}"
    count=$(find "$src" -type f | wc -l)
    [ "$count" = 6 ] || fail "$dest_name -$sw: expected 6 files in the tree, found $count"
  done
  pass "destination $dest_name inside the source: -S and -E end, each file copied once"
done

# Moving a tree into its own subfolder: every file lands once, none is lost.
rm -rf "$src"
mkdir -p "$src/sub"
printf 'a' >"$src/a.txt"
printf 'b' >"$src/sub/b.txt"
vxf_run "$(vx_path "$src")" "$(vx_path "$src/sub/out")" "${S}E" "${S}X" "${S}SILENT" "${S}Q"
vxf_rc_clean "move into itself"
assert_eq a "$(cat "$src/sub/out/a.txt" 2>/dev/null || cat "$src/a.txt")" "a.txt kept whole"
assert_eq b "$(cat "$src/sub/out/sub/b.txt" 2>/dev/null || cat "$src/sub/b.txt")" "b.txt kept whole"
[ ! -e "$src/sub/out/sub/out" ] || fail "the move walked its own output"
pass "a move into a subfolder of the source ends and keeps every file"
