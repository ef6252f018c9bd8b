#!/usr/bin/env bash
# Files prepared on several threads: every session says, logs and leaves
# exactly what it does with one thread (-THREADS:1), byte for byte; with 8
# (from the first file) and with the default (which opens where files are
# slow, so here mostly one at a time).
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
w=$VX_TMP/w
src=$w/src dst=$w/dst log=$w/copie.log

# The same tree each time: 4 folders of 25 files (some of 100 KiB), fixed times.
fixture() {
  rm -rf "$w"
  mkdir -p "$src" "$dst"
  local d i
  for d in . a b c; do
    mkdir -p "$src/$d"
    for i in $(seq -w 0 24); do
      if [ $((10#$i % 7)) = 0 ]; then head -c 102400 /dev/zero | tr '\0' "$i" >"$src/$d/f$i.txt"
      else printf '%s/%s\n' "$d" "$i" >"$src/$d/f$i.txt"; fi
    done
  done
  head -c 307200 /dev/zero | tr '\0' z >"$src/a/f12.txt"  # the one large file
  find "$src" -exec touch -d '2024-05-06 07:08:09' {} +
}

# What a run leaves and says: its exit code, stdout, stderr, its log with
# the time stamps masked, and both trees (names; the files' sizes, contents
# and times).
snapshot() {
  {
    echo "rc $VX_RC"
    cat "$VX_OUT"
    echo "-- stderr"
    cat "$VX_ERR"
    echo "-- log"
    # The command line it logs differs by the switch alone.
    # Windows names it in capitals.
    local named
    named=$(find "$w" -maxdepth 1 -iname copie.log)
    [ -n "$named" ] && sed -E -e 's/[0-9]+([/:.][0-9]+)+/T/g' -e "s/ ${S}THREADS:[0-9]*//" "$named"
    echo "-- trees"
    (cd "$w" && find . -ipath ./copie.log -prune -o -type d -printf '%p/\n' -o -printf '%p %y %s %TY%Tm%Td%TH%TM\n' | LC_ALL=C sort)
    (cd "$w" && find . -type f ! -iname copie.log -exec md5sum {} + | LC_ALL=C sort -k2)
  } >"$1"
}

# session NAME PREPARE ARGS...: PREPARE (a function) changes the fixture
# before each run; the input of -P comes from VX_INPUT.
session() {
  local name=$1 prepare=$2 threads
  shift 2
  for threads in 1 8 default; do
    fixture
    $prepare
    local more=()
    [ $threads = default ] || more=("${S}THREADS:$threads")
    vx_run "$@" "${more[@]}" "${S}LOG:$(vx_path "$log");2"
    snapshot "$VX_TMP/$threads.txt"
    [ $threads = 1 ] || diff "$VX_TMP/1.txt" "$VX_TMP/$threads.txt" >"$VX_TMP/diff" ||
      { head -30 "$VX_TMP/diff"; fail "$name: $threads threads change what the run says or leaves"; }
  done
  pass "$name: as with one thread"
}

none() { :; }
older_copies() { cp -a "$src/b" "$dst/"; printf 'older' >"$dst/b/f03.txt"; touch -d 2001-01-01 "$dst/b/f03.txt"; }
# A folder in a file's place and a read-only target: two failed copies.
failures() { mkdir -p "$dst/a/f05.txt" "$dst/c"; printf 'ro' >"$dst/c/f10.txt"; chmod 444 "$dst/c/f10.txt"; }
stale() { mkdir -p "$dst/gone/deeper" "$dst/a"; printf 'x' >"$dst/gone/deeper/x.txt"; printf 'y' >"$dst/a/old.txt"
  printf 'newer' >"$dst/a/f01.txt"; touch -d 2030-01-01 "$dst/a/f01.txt"; }

sp() { vx_path "$1"; }
session "-S" none "$(sp "$src")" "$(sp "$dst")" "${S}S"
session "-E -Q, over older copies" older_copies "$(sp "$src")" "$(sp "$dst")" "${S}E" "${S}Q"
session "-S -X -Y" older_copies "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}X" "${S}Y"
session "-S -C with failed copies" failures "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}C"
session "-S stopped at a failed copy" failures "$(sp "$src")" "$(sp "$dst")" "${S}S"
# In name order (Linux): a/f00 to a/f04 copied, nothing after a/f05.
[ "$VX_WINE" = 1 ] || { [ -e "$dst/a/f04.txt" ] && [ ! -e "$dst/a/f06.txt" ] && [ ! -e "$dst/b" ]; } ||
  fail "a file after the failed copy was named"
session "-S -SYNCHRONIZE" stale "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}SYNCHRONIZE"
session "-S -BISYNCHRONIZE" stale "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}BISYNCHRONIZE"
session "-S -U" older_copies "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}U"
session "-S -V -X" older_copies "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}V" "${S}X"
session "NUL -S -X" none "$(sp "$src")" NUL "${S}S" "${S}X"
VX_INPUT=$'o\nn\ntous\n' session "-S -P, answers from stdin" none "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}P"
VX_INPUT=

# A corrupted copy (the fault shim, Linux: the one write of 300 KiB, a/f12,
# whatever thread makes it): -V stops at it, and nothing prepared after it
# is named.
if [ "$VX_WINE" != 1 ] && [ -n "$VX_SHIM" ] && [ -f "$VX_SHIM" ]; then
  corrupted() { :; }
  export LD_PRELOAD=$VX_SHIM VXF_WRITE_MATCH=$dst/a VXF_CORRUPT=1 VXF_CORRUPT_MIN=200000 ASAN_OPTIONS=verify_asan_link_order=0
  session "-S -V, a corrupted copy" corrupted "$(sp "$src")" "$(sp "$dst")" "${S}S" "${S}V"
  unset LD_PRELOAD VXF_WRITE_MATCH VXF_CORRUPT VXF_CORRUPT_MIN
  [ -e "$dst/a/f11.txt" ] && [ -e "$dst/a/f12.txt" ] && [ ! -e "$dst/a/f13.txt" ] && [ ! -e "$dst/b" ] ||
    fail "-V: the files after the corrupted one were named: $(cd "$dst" && find . -type f | sort | tr "\n" " ")"
fi
