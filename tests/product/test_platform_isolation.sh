#!/usr/bin/env bash
# One source tree for every target, and one platform layer per process:
#  - no test on the target platform outside platform/ and the export glue
#    (the public header's calling convention);
#  - the platform layer lives in the library only, the program's own host
#    layer in the program only (read from the binaries' symbol tables).
set -u
fail() { echo "FAIL [test_platform_isolation.sh] $*" >&2; exit 1; }
pass() { echo "ok   [test_platform_isolation.sh] $*"; }

cd "$VX_SOURCE_DIR" || fail "no source folder"

# ---- Sources --------------------------------------------------------------------
found=$(grep -rnE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)\b.*(_WIN32|_WIN64|__i386__|__x86_64__|__MINGW|_MSC_VER|__linux__|__unix__|__APPLE__)' \
          --include='*.cpp' --include='*.cc' --include='*.c' --include='*.h' --include='*.inc' \
          core frontend support include examples tests fuzz bench 2>/dev/null |
        grep -v '^include/veltrix/VeltrixCore\.h:')
[ -z "$found" ] || fail "platform tests outside platform/ and the export glue:
$found"
pass "no platform test outside platform/ and the public header's export glue"

# ---- Binaries --------------------------------------------------------------------
nm=${VX_NM:-nm}
symbols() { "$nm" -C "$1" 2>/dev/null | sed 's/^[0-9a-fA-F]* *[A-Za-z] //'; }
program=$(symbols "$VX_BIN")
library=$(symbols "$VX_CORE")
[ -n "$program" ] && [ -n "$library" ] || { echo "SKIP [test_platform_isolation.sh] stripped binaries"; exit 0; }

# Pieces of the platform layer: file system, notice, time, environment.
layer='vx::NativeFileSystem::|vx::ShowNotice\(|vx::LocalNow\(|vx::ExpandEnvironment\('
grep -qE "$layer" <<<"$library" || fail "the library lacks the platform layer"
leaked=$(grep -E "$layer" <<<"$program" | head -5)
[ -z "$leaked" ] || fail "the program holds platform-layer code:
$leaked"
grep -q 'vx::host::WriteStdout' <<<"$program" || fail "the program lacks its host layer"
! grep -q 'vx::host::' <<<"$library" || fail "the library holds the program's host layer"
pass "the platform layer is linked into the library only, the host layer into the program only"
