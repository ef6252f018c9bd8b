#!/usr/bin/env bash
# Builds and tests Veltrix: the native build first, then the Windows builds,
# x86-64 with its tests run under Wine and i686 (whose programs cannot run
# on a 64-bit-only kernel) with the checks that read its binaries and
# packages. Exits non-zero when any test fails.
#   tests/run_all.sh            every target (Windows when mingw-w64 and Wine exist)
#   VELTRIX_NATIVE_ONLY=1 ...   the native build only
# Then, on Linux, the suites again under AddressSanitizer and
# UndefinedBehaviorSanitizer (VELTRIX_SKIP_SANITIZE=1 leaves them out) and a
# few seconds of each fuzz target when clang with libFuzzer is there.
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

mkdir -p build build-win build-win32
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
  if command -v i686-w64-mingw32-g++-posix >/dev/null; then
    run_suite "Windows i686" build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
  else
    echo "==== Windows i686: i686-w64-mingw32-g++-posix missing, FAILED (set VELTRIX_NATIVE_ONLY=1 to skip)"
    status=1
  fi
else
  echo "==== Windows: mingw-w64 or Wine missing, FAILED (set VELTRIX_NATIVE_ONLY=1 to skip)"
  status=1
fi

# Every sanitizer report goes to a file, so that a test which expects a
# failing exit code or reads standard error cannot hide one. The link-order
# check is off: a fault test's LD_PRELOAD shim would stop the program before main.
run_sanitized() {
  local reports=$PWD/build-asan/sanitizer-reports
  rm -rf "$reports" && mkdir -p "$reports"
  ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:verify_asan_link_order=0" \
    UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1" \
    run_suite Sanitizers build-asan -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON
  if [ -n "$(ls -A "$reports")" ]; then
    echo "---- Sanitizers: reports"
    head -60 "$reports"/*
    status=1
  fi
}

fuzzer_available() {
  command -v clang++ >/dev/null || return 1
  local probe
  probe=$(mktemp -d) || return 1
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cc"
  clang++ -fsanitize=fuzzer "$probe/p.cc" -o "$probe/p" >/dev/null 2>&1
  local rc=$?
  rm -rf "$probe"
  return $rc
}

mkdir -p build-asan
if [ "${VELTRIX_SKIP_SANITIZE:-0}" = 1 ]; then
  echo "==== Sanitizers: not asked for"
else
  run_sanitized
fi
if fuzzer_available; then
  fuzz/run.sh --smoke || status=1
else
  echo "==== Fuzz: clang with libFuzzer missing, smoke run skipped"
fi

if [ $status -eq 0 ]; then echo "==== ALL TESTS PASSED"; else echo "==== SOME TESTS FAILED"; fi
exit $status
