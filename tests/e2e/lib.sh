# Helpers of the end-to-end scripts: source it from tests/e2e/test_*.sh.
#
# CTest passes VX_BIN (the built Veltrix or Veltrix.exe), VX_WINE (1 for the
# Windows build, run under Wine) and VX_WINE_RUN (the Wine runner).
#
#   vx_run ARGS...        run the program; stdin from $VX_INPUT (text, default
#                         none); sets VX_RC and the files $VX_OUT, $VX_ERR
#   vx_path LINUX_PATH    the path as the program must be given it
#   vx_console TEXT       UTF-8 text as the program's own console bytes
#   vx_library TEXT       UTF-8 text as the library's (ANSI) bytes
#   VX_SW                 the switch prefix
#   VX_TMP                a temporary folder, removed at exit; the script runs
#                         inside it, and fails at exit when it left anything
#                         new in the folder it was started from
#   assert_*, fail        print a clear failure and end the script non-zero
set -u

: "${VX_BIN:?VX_BIN must name the program}"
VX_WINE=${VX_WINE:-0}
case "$VX_WINE" in 1|ON|on|TRUE|true) VX_WINE=1 ;; *) VX_WINE=0 ;; esac
VX_WINE_RUN=${VX_WINE_RUN:-$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-run.sh}
VX_SW=-
VX_SCRIPT=$(basename "$0")
VX_HELP_RESOURCE=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/resources/cmdinfo.txt

# Paths given relative to the starting folder still name the same files
# once the script works in its temporary folder.
vx_absolute() { case "$1" in /*|'') printf '%s' "$1" ;; *) printf '%s/%s' "$PWD" "$1" ;; esac; }
VX_BIN=$(vx_absolute "$VX_BIN")
VX_WINE_RUN=$(vx_absolute "$VX_WINE_RUN")
VX_SHIM=$(vx_absolute "${VX_SHIM:-}")

VX_TMP=$(mktemp -d "${TMPDIR:-/tmp}/veltrix-e2e.XXXXXX")
# A relative or hostile path given to the program (an apostrophe that opens a
# quoted stretch to the end of the line, say) can only land in VX_TMP.
VX_START_DIR=$PWD
ls -A "$VX_START_DIR" | LC_ALL=C sort >"$VX_TMP/.start-names"
cd "$VX_TMP" || exit 1

# Fails when the script left anything new in the folder it was started from
# (CTest starts it in the build folder). A shared temporary folder, where
# other programs come and go, is not checked.
vx_check_start_dir() {
  local left
  case "$VX_START_DIR" in "${TMPDIR:-/tmp}" | /tmp | /var/tmp | /dev/shm) return 0 ;; esac
  # The install test's `cmake --install` writes its manifest into the build
  # folder, which is where the scripts start: not this script's doing.
  left=$(ls -A "$VX_START_DIR" | grep -v '^install_manifest.*\.txt$' | LC_ALL=C sort |
    LC_ALL=C comm -13 "$VX_TMP/.start-names" -)
  [ -z "$left" ] && return 0
  echo "FAIL [$VX_SCRIPT] written outside its temporary folder, in $VX_START_DIR: $left" >&2
  return 1
}

vx_exit() {
  local rc=$?
  vx_check_start_dir || rc=1
  cd / && rm -rf "$VX_TMP"
  exit $rc
}
trap vx_exit EXIT
VX_OUT=$VX_TMP/.stdout
VX_ERR=$VX_TMP/.stderr
VX_INPUT=

fail() {
  echo "FAIL [$VX_SCRIPT] $*" >&2
  if [ -s "$VX_OUT" ]; then echo "--- stdout:" >&2; head -c 2000 "$VX_OUT" >&2; echo >&2; fi
  if [ -s "$VX_ERR" ]; then echo "--- stderr:" >&2; head -c 2000 "$VX_ERR" >&2; echo >&2; fi
  exit 1
}

pass() { echo "ok   [$VX_SCRIPT] $*"; }
skip() { echo "SKIP [$VX_SCRIPT] $*"; }

vx_run() {
  : >"$VX_OUT"; : >"$VX_ERR"
  local input=/dev/null
  if [ -n "$VX_INPUT" ]; then
    input=$VX_TMP/.stdin
    printf '%s' "$VX_INPUT" >"$input"
  fi
  VX_RC=0
  if [ "$VX_WINE" = 1 ]; then
    "$VX_WINE_RUN" "$VX_BIN" "$@" <"$input" >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  else
    "$VX_BIN" "$@" <"$input" >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  fi
}

vx_path() {
  if [ "$VX_WINE" = 1 ]; then
    printf 'Z:%s' "${1//\//\\}"
  else
    printf '%s' "$1"
  fi
}

vx_console() {
  if [ "$VX_WINE" = 1 ]; then printf '%s' "$1" | iconv -f UTF-8 -t CP850; else printf '%s' "$1"; fi
}

vx_library() {
  if [ "$VX_WINE" = 1 ]; then printf '%s' "$1" | iconv -f UTF-8 -t CP1252; else printf '%s' "$1"; fi
}

# The help page as printed: the resource in the console's encoding, CR LF
# after its last line too.
vx_help_page() {
  if [ "$VX_WINE" = 1 ]; then
    iconv -f CP1252 -t CP850 "$VX_HELP_RESOURCE"
  else
    iconv -f CP1252 -t UTF-8 "$VX_HELP_RESOURCE"
  fi
  printf '\r\n'
}

assert_rc() {
  [ "$VX_RC" = "$1" ] || fail "${2:-exit code}: expected $1, got $VX_RC"
}

assert_eq() {
  [ "$1" = "$2" ] || fail "${3:-values differ}: expected [$1], got [$2]"
}

# assert_file_eq EXPECTED_FILE ACTUAL_FILE [what]
assert_file_eq() {
  cmp -s "$1" "$2" || fail "${3:-files differ}: $(cmp "$1" "$2" 2>&1 | head -1)"
}

# assert_contains FILE TEXT [what]: TEXT given in the file's own bytes.
assert_contains() {
  grep -qaF -- "$2" "$1" || fail "${3:-missing text}: [$2] not in $(basename "$1")"
}

assert_not_contains() {
  ! grep -qaF -- "$2" "$1" || fail "${3:-unexpected text}: [$2] found in $(basename "$1")"
}

assert_empty() {
  [ ! -s "$1" ] || fail "${2:-not empty}: $(basename "$1") has $(wc -c <"$1") bytes"
}

# Whether the parser and the session are built: a plain list-only run is
# accepted and does not stop on a pending part.
vx_engine_ready() {
  mkdir -p "$VX_TMP/.ready/src"
  vx_run "$(vx_path "$VX_TMP/.ready/src")" "$(vx_path "$VX_TMP/.ready/dst")" "${VX_SW}L" "${VX_SW}SILENT"
  [ "$VX_RC" != 5 ] && ! grep -q EPending "$VX_ERR"
}
