#!/usr/bin/env bash
# Builds and tests Veltrix: the native build first, then the Windows build
# with its tests run under Wine. Exits non-zero when any test fails.
#   tests/run_all.sh            both targets (Windows when mingw-w64 and Wine exist)
#   VELTRIX_NATIVE_ONLY=1 ...   the native build only
set -u
cd "$(dirname "$0")/.."
jobs=${VELTRIX_JOBS:-2}
status=0

run_suite() {  # name build-dir cmake-options...
  local name=$1 dir=$2
  shift 2
  echo "==== $name: configure and build ($dir)"
  if ! cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"
    echo "==== $name: configuration FAILED"
    status=1
    return
  fi
  if ! cmake --build "$dir" -j "$jobs"; then
    echo "==== $name: build FAILED"
    status=1
    return
  fi
  echo "==== $name: tests"
  local log=$dir/ctest.log
  (cd "$dir" && ctest --output-on-failure -j "$jobs") >"$log" 2>&1
  local rc=$?
  grep -E "^[0-9]+% tests passed|tests failed|^\s+[0-9]+ - |Total Test time" "$log"
  if [ $rc -ne 0 ]; then
    echo "---- $name: failing output"
    grep -E -A40 "\*\*\*Failed|\(Failed\)|Exception:" "$log" | head -200
    status=1
  fi
}

mkdir -p build build-win
run_suite Linux build

if [ "${VELTRIX_NATIVE_ONLY:-0}" = 1 ]; then
  echo "==== Windows: not asked for"
elif command -v x86_64-w64-mingw32-g++-posix >/dev/null && { command -v wine >/dev/null || command -v wine64 >/dev/null; }; then
  export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-veltrix} WINEDEBUG=-all
  # No installer dialogs for components the tests never use.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # One Wine server for every test: each cold start costs seconds.
  wineserver -p60 2>/dev/null || true
  LC_ALL=fr_FR.UTF-8 cmake/wine-run.sh wineboot -u >/dev/null 2>&1 || true
  run_suite Windows build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
else
  echo "==== Windows: mingw-w64 or Wine missing, FAILED (set VELTRIX_NATIVE_ONLY=1 to skip)"
  status=1
fi

if [ $status -eq 0 ]; then echo "==== ALL TESTS PASSED"; else echo "==== SOME TESTS FAILED"; fi
exit $status
