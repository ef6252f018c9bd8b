# Helpers of the fault scripts: source it from tests/faults/test_*.sh. It
# builds on the end-to-end helpers (tests/e2e/lib.sh) and adds:
#
#   vxf_run ARGS...          vx_run under a time limit: a run that hangs fails
#                            the script. Variables named in VXF_ENV ("A=1 B=2")
#                            are passed, and with VX_SHIM the fault shim is
#                            preloaded (Linux only).
#   vxf_linux_only WHAT      ends the script with a skip under Wine
#   vxf_mount_tmpfs DIR SIZE a tmpfs of SIZE on DIR, unmounted at exit;
#                            false (with a skip message) where not permitted
#   vxf_run_bound FROM ON ARGS...
#                            vxf_run in a mount namespace of its own where FROM
#                            is bound on ON (one file system seen at two
#                            places); false (with a skip message) where not
#                            permitted. Linux only
#   vxf_have_shim            whether the fault shim is built
#   vxf_run_held ACT ARGS... vxf_run with the fault shim held at the point
#                            that VXF_ENV names (VXF_HOLD_OPEN, _NAMED or
#                            _REPLACE): once the program waits there, the
#                            command ACT runs, then the program goes on.
#                            Fails when the program never reaches the point
#   vxf_sum FILE             the MD5 digest of FILE
#   vxf_rc_clean             fails when the program crashed or was killed
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

VXF_ENV=
VXF_TIMEOUT=${VXF_TIMEOUT:-60}
VXF_MOUNTS=()

vxf_cleanup() {
  local rc=$? m
  vx_check_start_dir || rc=1
  cd /
  for m in "${VXF_MOUNTS[@]}"; do umount -l "$m" 2>/dev/null; done
  chattr -R -i "$VX_TMP" 2>/dev/null
  rm -rf "$VX_TMP"
  exit $rc
}
trap vxf_cleanup EXIT

vxf_have_shim() { [ "$VX_WINE" = 0 ] && [ -n "$VX_SHIM" ] && [ -f "$VX_SHIM" ]; }

vxf_run() {
  : >"$VX_OUT"; : >"$VX_ERR"
  local input=/dev/null
  if [ -n "$VX_INPUT" ]; then
    input=$VX_TMP/.stdin
    printf '%s' "$VX_INPUT" >"$input"
  fi
  local -a prefix=(timeout -s KILL "$VXF_TIMEOUT" env)
  if [ -n "$VXF_ENV" ]; then
    # shellcheck disable=SC2206
    prefix+=($VXF_ENV)
    if vxf_have_shim; then
      # A sanitizer runtime would insist on coming first; the shim has none.
      prefix+=("LD_PRELOAD=$VX_SHIM" "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
    fi
  fi
  VX_RC=0
  if [ "$VX_WINE" = 1 ]; then
    "${prefix[@]}" "$VX_WINE_RUN" "$VX_BIN" "$@" <"$input" >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  else
    "${prefix[@]}" "$VX_BIN" "$@" <"$input" >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  fi
  [ -z "${VXF_RC_FILE:-}" ] || echo "$VX_RC" >"$VXF_RC_FILE"
  [ "$VX_RC" != 137 ] || fail "the run did not end within ${VXF_TIMEOUT}s: $*"
}

vxf_run_held() {
  local act=$1 mark=$VX_TMP/.held
  shift
  rm -f "$mark" "$VX_TMP/.rc"
  local env_before=$VXF_ENV
  VXF_ENV="$VXF_ENV VXF_HOLD_MARK=$mark"
  VXF_RC_FILE=$VX_TMP/.rc vxf_run "$@" &
  local pid=$! waited=0
  while [ ! -e "$mark" ] && kill -0 "$pid" 2>/dev/null && [ $waited -lt 1200 ]; do
    sleep 0.05
    waited=$((waited + 1))
  done
  local reached=0
  [ -e "$mark" ] && reached=1
  [ $reached = 0 ] || "$act"
  rm -f "$mark"
  wait "$pid" || true
  VXF_ENV=$env_before
  # The exit code went with the background shell: read back from its file.
  VX_RC=$(cat "$VX_TMP/.rc" 2>/dev/null || echo none)
  rm -f "$VX_TMP/.rc"
  [ $reached = 1 ] || fail "the program never reached the held point: $*"
}

vxf_run_bound() {
  local from=$1 on=$2
  shift 2
  if ! unshare -m mount --bind "$from" "$on" 2>/dev/null; then
    skip "cannot bind-mount in a mount namespace here (unshare -m, mount --bind)"
    return 1
  fi
  : >"$VX_OUT"; : >"$VX_ERR"
  VX_RC=0
  # The mount ends with the namespace, when the program does.
  timeout -s KILL "$VXF_TIMEOUT" unshare -m sh -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' \
    sh "$from" "$on" "$VX_BIN" "$@" </dev/null >"$VX_OUT" 2>"$VX_ERR" || VX_RC=$?
  [ "$VX_RC" != 137 ] || fail "the run did not end within ${VXF_TIMEOUT}s: $*"
}

vxf_rc_clean() {
  case "$VX_RC" in 0|1|2|3|5) ;; *) fail "${1:-run} ended with code $VX_RC (crash or signal)" ;; esac
  ! grep -qaE "AddressSanitizer|runtime error:|Segmentation|core dumped" "$VX_ERR" ||
    fail "${1:-run}: crash report on standard error"
}

vxf_linux_only() {
  if [ "$VX_WINE" = 1 ]; then
    skip "$1: Linux only (needs Linux faults: shim, mounts or Linux file names)"
    exit 0
  fi
}

vxf_mount_tmpfs() {
  mkdir -p "$1"
  if ! mount -t tmpfs -o "size=$2" tmpfs "$1" 2>/dev/null; then
    skip "cannot mount a tmpfs here (needs root and mount rights)"
    return 1
  fi
  VXF_MOUNTS=("$1" "${VXF_MOUNTS[@]}")
}

vxf_sum() { md5sum <"$1" | cut -d' ' -f1; }

# vxf_require_shim WHAT: ends the script with a skip when the shim is missing.
vxf_require_shim() {
  vxf_have_shim || { skip "$1: fault shim not built"; exit 0; }
}
