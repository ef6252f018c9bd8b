#!/usr/bin/env bash
# The log is never written through a link: a symbolic link or a hard link in
# its place is refused (exit 1, a French message) and the file it leads to
# stays as it was; the trim keeps the log's mode and owner; and a line that
# another run appends while the trim works lands in the trimmed log.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
src=$VX_TMP/src
dst=$VX_TMP/dst
mkdir -p "$src" "$VX_TMP/logs"
printf 'a' >"$src/a.txt"
printf 'secret line\n' >"$VX_TMP/secret"
chmod 0600 "$VX_TMP/secret"
secret=$(vxf_sum "$VX_TMP/secret")

ln -s "$VX_TMP/secret" "$VX_TMP/logs/link.log"
ln "$VX_TMP/secret" "$VX_TMP/logs/hard.log"
for name in link.log hard.log; do
  for lines in "" ";5"; do
    vxf_run "$(vx_path "$src")" "$(vx_path "$dst")" "${S}Q" "${S}LOG:$(vx_path "$VX_TMP/logs/$name");2$lines"
    vxf_rc_clean "a log that is $name"
    assert_rc 1 "a log that is $name$lines"
    assert_contains "$VX_ERR" "est un lien ou a d'autres liens physiques" "a log that is $name: the message"
    assert_eq "$secret" "$(vxf_sum "$VX_TMP/secret")" "a log that is $name$lines: the file behind it was written"
  done
done
[ -L "$VX_TMP/logs/link.log" ] || fail "the link in the log's place was replaced"
pass "a log that is a link or has other hard links is refused, the file behind it untouched"

vxf_linux_only "the log's owner and a trim held"

# The trim's new file has the old log's mode and owner.
log=$VX_TMP/logs/kept.log
for i in $(seq 10); do printf 'line %s\r\n' "$i"; done >"$log"
chmod 0640 "$log"
chown 65534:65534 "$log"
vxf_run "$src" "$dst" "${S}Q" "${S}LOG:$log;0;3"
assert_rc 0 "a trimmed log"
assert_eq "640 65534:65534" "$(stat -c '%a %u:%g' "$log")" "the trimmed log's mode and owner"
assert_eq 3 "$(wc -l <"$log")" "the trimmed log's lines"
pass "the trimmed log keeps its mode and owner"

# A run trims the log; while it holds the old content, before its new file
# takes the log's name, another run appends. That line must be in the log.
vxf_require_shim "a trim held"
log=$VX_TMP/logs/shared.log
printf 'old line\r\n' >"$log"
mkdir -p "$VX_TMP/other"
printf 'b' >"$VX_TMP/other/b.txt"
other=
append_meanwhile() {
  "$VX_BIN" "$VX_TMP/other" "$VX_TMP/dst2" "${S}Q" "${S}LOG:$log;2" >/dev/null 2>&1 &
  other=$!
  # Until it is done, or waits for the trim's lock.
  for _ in $(seq 600); do
    kill -0 "$other" 2>/dev/null || break
    ! grep -q -- "-> FLOCK .* $other " /proc/locks || break
    sleep 0.05
  done
}
VXF_ENV="VXF_HOLD_REPLACE=/shared.log"
vxf_run_held append_meanwhile "$src" "$dst" "${S}Q" "${S}LOG:$log;2;1000"
VXF_ENV=
wait "$other"
assert_rc 0 "the trimming run"
assert_contains "$log" "\"$VX_TMP/other/b.txt\" -> \"$VX_TMP/dst2/b.txt\"." "the line appended during the trim"
assert_contains "$log" "old line" "the old line"
pass "a line appended while another run trims the log is kept"
