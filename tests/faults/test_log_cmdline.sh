#!/usr/bin/env bash
# A log that cannot be written (under a regular file, naming a folder, on a
# full file system) fails the run cleanly before any copy: exit 1 and a
# French report. A log in missing folders creates them. Overlong and hostile
# command lines never crash the program.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
mkdir -p "$src" "$VX_TMP/afolder"
printf 'a' >"$src/a.txt"
printf 'x' >"$VX_TMP/plain"

bad_logs=("$VX_TMP/plain/copie.log" "$VX_TMP/afolder")
if [ "$VX_WINE" = 0 ] && vxf_mount_tmpfs "$VX_TMP/full" 64k; then
  dd if=/dev/zero of="$VX_TMP/full/filler" bs=4k count=64 status=none 2>/dev/null
  bad_logs+=("$VX_TMP/full/copie.log")
fi
for log in "${bad_logs[@]}"; do
  rm -rf "$dst"
  vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}X" "${S}LOG:$(vx_path "$log")"
  vxf_rc_clean "log $log"
  assert_rc 1 "log ${log#"$VX_TMP"/}: an unexpected failure"
  assert_contains "$VX_ERR" "$(vx_console "Erreur d'entrée/sortie sur le fichier")" "log ${log#"$VX_TMP"/}: French report"
  [ ! -e "$dst" ] || fail "log ${log#"$VX_TMP"/}: copied before the log failed"
  [ -e "$src/a.txt" ] || fail "log ${log#"$VX_TMP"/}: the source was moved"
done
pass "a log under a file, naming a folder or on a full disk: exit 1 before any copy"

# Upper case: on Windows the switch carries the log name upper-cased.
log=$VX_TMP/NEW/FOLDERS/COPIE.LOG
vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}LOG:$(vx_path "$log")" "${S}SILENT"
assert_rc 0 "log in missing folders"
[ -s "$log" ] && [ -e "$dst/a.txt" ] || fail "the log's folders were not created"
pass "a log in missing folders creates them"

# ---- Overlong and hostile command lines ------------------------------------------------

long=$(head -c 60000 /dev/zero | tr '\0' 'A')
hostile=(
  "$long" "$long $long"
  "${S}EXCLUDE:$long" "${S}INCLUDE:*;;;;*;$long" "${S}LOG:$long;2;99999999999999999999"
  "${S}D:99/99/99999" "${S}D:-99999999999999999999" "${S}SIZE:+99999999999999999999999" "${S}SIZE:="
  "${S}LOG:" "${S}LOG:;;" "file:" "file:$long" "%$long%" '%%%%%%%%' '"' '""""' "'" "${S}" "${S}${S}${S}"
  "$(printf '%s;' $(seq 1 3000))"
)
for arg in "${hostile[@]}"; do
  vxf_run "$arg" "$(vx_path "$VX_TMP/none")" "${S}L" "${S}SILENT"
  vxf_rc_clean "hostile argument ${arg:0:40}"
  vxf_run "$(vx_path "$src")" "$arg" "${S}L" "${S}SILENT"
  vxf_rc_clean "hostile destination ${arg:0:40}"
done
# Many arguments at once, each long.
args=()
for i in $(seq 1 40); do args+=("${S}EXCLUDE:${long:0:2000}$i"); done
vxf_run "$(vx_path "$src")" "$(vx_path "$VX_TMP/none")" "${args[@]}" "${S}L" "${S}SILENT"
vxf_rc_clean "many long arguments"
[ ! -e "$VX_TMP/none" ] || fail "a hostile listing created a folder"
pass "overlong and hostile command lines end without a crash"
