#!/usr/bin/env bash
# The Windows binaries as a host sees them, read with objdump (the i686 ones
# cannot run here): VeltrixCore.dll exports exactly the five names of old
# and TryFillCopyRec and TryProcessCmdLine, undecorated, at ordinals 1 to 7;
# Veltrix.exe imports all seven by name; on i686
# ProcessCmdLine removes 10340 bytes of arguments (the record by value and
# five callbacks), FillCopyRec 8 and the two new ones 16; program and library
# share one C runtime, so one stdout.
set -u
# objdump's headings are matched in English, whatever the user's language.
export LC_ALL=C
fail() { echo "FAIL [test_exports.sh] $*" >&2; exit 1; }
pass() { echo "ok   [test_exports.sh] $*"; }

if [ "${VX_WINE:-0}" != 1 ] && [ "${VX_WIDTH:-64}" != 32 ]; then
  echo "SKIP [test_exports.sh] Windows builds only"
  exit 0
fi
objdump=${VX_OBJDUMP:-objdump}
dll=$VX_CORE
exe=$VX_BIN
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrix-exports.XXXXXX")
trap 'rm -rf "$work"' EXIT

# ---- Export table ---------------------------------------------------------------
"$objdump" -p "$dll" >"$work/dll.txt" || fail "objdump cannot read $dll"
grep -q 'Ordinal Base[[:space:]]*1$' "$work/dll.txt" || fail "ordinal base is not 1"
grep -q 'Export Address Table[[:space:]]*00000007$' "$work/dll.txt" || fail "not exactly seven addresses"
grep -q 'Name Pointer/Ordinal\] Table[[:space:]]*00000007$' "$work/dll.txt" || fail "not exactly seven names"
# "[   i] Name": i is the ordinal less the base.
sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$work/dll.txt" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\(.*\)$/\1 \2/p' | sort -n >"$work/exports"
printf '%s\n' "0 ProcessCmdLine" "1 FillCopyRec" "2 NeedHelp" "3 GetCopyright" "4 GetTitle" \
  "5 TryFillCopyRec" "6 TryProcessCmdLine" >"$work/expected"
cmp -s "$work/expected" "$work/exports" ||
  fail "export table: $(tr '\n' ',' <"$work/exports") instead of the seven at ordinals 1 to 7"
pass "the library exports the seven names undecorated at ordinals 1 to 7, nothing else"

# ---- Imports of the program ------------------------------------------------------
"$objdump" -p "$exe" >"$work/exe.txt" || fail "objdump cannot read $exe"
awk '/DLL Name: VeltrixCore.dll/{m=1; next} /DLL Name:/{m=0} m && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}' \
  "$work/exe.txt" | sort >"$work/imports"
# TryFillCopyRec tells the program why a command line was refused;
# TryProcessCmdLine runs its session with reasons and progress.
printf '%s\n' FillCopyRec GetCopyright GetTitle NeedHelp ProcessCmdLine TryFillCopyRec \
  TryProcessCmdLine >"$work/expected"
cmp -s "$work/expected" "$work/imports" ||
  fail "the program imports $(tr '\n' ',' <"$work/imports") from VeltrixCore.dll"
pass "the program imports the seven by their undecorated names"

# ---- One C runtime: stdout is one FILE of msvcrt.dll in both modules ------------
for file in "$dll" "$exe"; do
  "$objdump" -p "$file" |
    awk '/DLL Name: msvcrt.dll/{m=1; next} /DLL Name:/{m=0} m && NF == 3 {print $3}' >"$work/crt"
  # The stream table: through __iob_func on x86-64, the _iob array on i686.
  grep -qxE '__iob_func|_iob' "$work/crt" || fail "$(basename "$file") takes stdout elsewhere than msvcrt.dll"
  grep -qx fflush "$work/crt" || fail "$(basename "$file") takes fflush elsewhere than msvcrt.dll"
done
pass "program and library take stdout and fflush from msvcrt.dll"

# ---- Arguments removed on return (stdcall on i686) -------------------------------
if [ "${VX_WIDTH:-64}" = 32 ]; then
  "$objdump" -d "$dll" >"$work/code.txt"
  for pair in "ProcessCmdLine@10340 0x2864" "FillCopyRec@8 0x8" "NeedHelp@0 " "GetTitle@0 " \
    "TryFillCopyRec@16 0x10" "TryProcessCmdLine@16 0x10"; do
    symbol=${pair% *}
    bytes=${pair#* }
    awk -v s="<_$symbol>:" '$2 == s {m=1; next} m && /^$/ {exit} m' "$work/code.txt" >"$work/body"
    [ -s "$work/body" ] || fail "no function _$symbol in the library"
    rets=$(grep -oE 'ret[[:space:]]+\$0x[0-9a-f]+|ret[[:space:]]*$' "$work/body" | tr -s ' \t' ' ' | sort -u)
    if [ -n "$bytes" ]; then
      [ "$rets" = "ret \$$bytes" ] || fail "_$symbol returns with [$rets], not ret \$$bytes"
    else
      [ "$rets" = "ret" ] || fail "_$symbol returns with [$rets], not a plain ret"
    fi
  done
  pass "ProcessCmdLine removes 10340 bytes of arguments, FillCopyRec 8, the Try exports 16"
fi
