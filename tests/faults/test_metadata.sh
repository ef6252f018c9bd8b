#!/usr/bin/env bash
# A root backup against cp -a on one tree: owners and groups, user., trusted.
# and security. attributes, a file ACL and a folder's default ACL, hard-link
# groups of 2 and 3 names (one across folders), a large sparse file, setuid
# and setgid files. Every entry is compared: type, owner, mode, size, time,
# attributes (getfattr), allocated blocks and which names share a file.
# Differences by design, left out of the comparison:
#   - a link to a file is copied as the file's content (cp -a keeps the link);
#   - folders take no time of their source (cp -a sets their times);
#   - user.DOSATTRIB, which -K, -M and -H rule, is not compared.
# Then the same run without CAP_CHOWN: one warning, the copies the copier's,
# nothing failing; and a rerun, which copies nothing and keeps the groups.
# Under Wine, what it can show: the switches accepted, hard links, holes.
source "$(dirname "$0")/lib.sh"
S=$VX_SW

# Under Wine: the switches are accepted, hard links are made, holes kept (on
# the Linux file system beneath); owners and DACLs as Wine keeps them, which
# Linux does not show.
if [ "$VX_WINE" = 1 ]; then
  vx_engine_ready || { skip "engine not built yet"; exit 0; }
  src=$VX_TMP/src
  mkdir -p "$src/sub"
  printf 'pair' >"$src/one"
  ln "$src/one" "$src/sub/two"
  truncate -s 64M "$src/sparse"
  printf 'data' | dd of="$src/sparse" bs=1 seek=10000000 conv=notrunc status=none
  vxf_run "$(vx_path "$src")" "$(vx_path "$VX_TMP/dst")" "${S}S" "${S}OWNER" "${S}XATTR" "${S}HARDLINKS" "${S}Q"
  assert_rc 0 "under Wine"
  assert_eq pair "$(cat "$VX_TMP/dst/sub/two")" "under Wine: content"
  assert_eq "$(stat -c %i "$VX_TMP/dst/one")" "$(stat -c %i "$VX_TMP/dst/sub/two")" "under Wine: one file, two names"
  cmp -s "$src/sparse" "$VX_TMP/dst/sparse" || fail "under Wine: the sparse file's bytes"
  [ "$(stat -c %b "$VX_TMP/dst/sparse")" -le $(( $(stat -c %b "$src/sparse") + 2048 + 1310 )) ] ||
    fail "under Wine: the copy of a sparse file is allocated whole"
  pass "under Wine: -OWNER -XATTR -HARDLINKS accepted, hard links kept, holes kept"
  exit 0
fi
[ "$(id -u)" = 0 ] || { skip "needs root"; exit 0; }
for tool in setfacl getfattr setfattr setpriv; do
  command -v "$tool" >/dev/null || { skip "needs $tool"; exit 0; }
done
vx_engine_ready || { skip "engine not built yet"; exit 0; }

src=$VX_TMP/src
mkdir -p "$src/d1" "$src/d2/deep" "$src/shared"
# Trusted and security attributes need a file system that keeps them.
setfattr -n trusted.probe -v 1 "$src" 2>/dev/null && setfattr -n security.probe -v 1 "$src" 2>/dev/null &&
  setfacl -m u:1000:r "$src" 2>/dev/null ||
  { skip "the temporary folder keeps no trusted./security. attributes or ACLs"; exit 0; }
setfattr -x trusted.probe "$src"; setfattr -x security.probe "$src"; setfacl -b "$src"

printf 'owned' >"$src/d1/owned"
printf 'attrs' >"$src/d1/attrs"
setfattr -n user.comment -v "kept" "$src/d1/attrs"
setfattr -n trusted.note -v "root only" "$src/d1/attrs"
setfattr -n security.label -v "lbl" "$src/d1/attrs"
printf 'acl' >"$src/acl_file"
setfacl -m u:1000:rw,g:100:r "$src/acl_file"
setfacl -d -m u:1000:rx "$src/shared"
printf 'inherited' >"$src/shared/inherits"      # takes the folder's default ACL
printf 'plain' >"$src/shared/plain"             # and then has none: its copy must not either
setfacl -b "$src/shared/plain"
printf 'pair' >"$src/pair1"
ln "$src/pair1" "$src/d1/pair2"
printf 'three' >"$src/d2/t1"
ln "$src/d2/t1" "$src/d2/t2"
ln "$src/d2/t1" "$src/d2/deep/t3"
truncate -s 1G "$src/sparse"
dd if=/dev/urandom of="$src/sparse" bs=1M count=1 seek=100 conv=notrunc status=none
dd if=/dev/urandom of="$src/sparse" bs=1M count=1 seek=900 conv=notrunc status=none
printf 'suid' >"$src/suid"
printf 'sgid' >"$src/d2/sgid"
ln -s acl_file "$src/link_to_file"
chown -R 65534:65534 "$src/d1"
chown 1000:100 "$src/d2" "$src/d2/t1" "$src/acl_file"
chown 65534:100 "$src/suid" "$src/d2/sgid"
chmod 4755 "$src/suid"
chmod 2750 "$src/d2/sgid"
chmod 2775 "$src/d2"

# One line per entry, by relative path; the inode is replaced by the first
# name of its group, so that groups compare across trees.
describe() {
  (cd "$1" && find . -mindepth 1 ! -name link_to_file | LC_ALL=C sort | while read -r p; do
    if [ -d "$p" ]; then
      stat -c "%n|dir|%u:%g|%a" "$p"
    else
      stat -c "%n|%F|%u:%g|%a|%s|%y|%h|%i" "$p"
    fi
    getfattr -d -m- -h --absolute-names "$p" 2>/dev/null | grep -v '^user.DOSATTRIB=' | grep -v '^#' | grep .
  done | awk -F'|' -v OFS='|' 'NF == 8 { if (!($8 in first)) first[$8] = $1; $8 = "file of " first[$8] } { print }')
}
blocks() { stat -c %b "$1"; }

cp -a "$src" "$VX_TMP/ref"
vxf_run "$src" "$VX_TMP/dst" "${S}S" "${S}E" "${S}H" "${S}K" "${S}OWNER" "${S}XATTR" "${S}HARDLINKS" "${S}Q"
assert_rc 0 "root backup"
assert_empty "$VX_ERR" "root backup: stderr"
describe "$VX_TMP/ref" >"$VX_TMP/ref.txt"
describe "$VX_TMP/dst" >"$VX_TMP/dst.txt"
diff -u "$VX_TMP/ref.txt" "$VX_TMP/dst.txt" >"$VX_TMP/diff.txt" ||
  fail "Veltrix differs from cp -a: $(head -30 "$VX_TMP/diff.txt")"
grep -q 'trusted.note' "$VX_TMP/dst.txt" && grep -q 'security.label' "$VX_TMP/dst.txt" &&
  grep -q 'system.posix_acl_default' "$VX_TMP/dst.txt" || fail "the listing misses attributes"
for f in sparse d1/attrs acl_file; do
  ref=$(blocks "$VX_TMP/ref/$f") got=$(blocks "$VX_TMP/dst/$f")
  [ "$got" -le $((ref + ref / 100 + 2048)) ] || fail "$f: $got blocks, cp -a $ref"
done
assert_eq acl "$(cat "$VX_TMP/dst/link_to_file")" "a link to a file is copied as content"
[ ! -L "$VX_TMP/dst/link_to_file" ] || fail "the link was copied as a link"
pass "a root backup keeps what cp -a keeps: owners, attributes, ACLs, hard links, holes, setuid/setgid"

vxf_run "$src" "$VX_TMP/dst" "${S}S" "${S}E" "${S}H" "${S}K" "${S}OWNER" "${S}XATTR" "${S}HARDLINKS"
assert_rc 0 "rerun"
assert_contains "$VX_OUT" "0 fichier(s) copi" "rerun: nothing copied"
describe "$VX_TMP/dst" >"$VX_TMP/again.txt"
diff -q "$VX_TMP/dst.txt" "$VX_TMP/again.txt" >/dev/null || fail "the rerun changed the copy"

# Without CAP_CHOWN: said once, copies as without -OWNER, nothing failing.
VX_BIN_SAVED=$VX_BIN
VX_BIN=$VX_TMP/unprivileged
printf '#!/bin/sh\nexec setpriv --inh-caps=-chown --bounding-set=-chown "%s" "$@"\n' "$VX_BIN_SAVED" >"$VX_BIN"
chmod +x "$VX_BIN"
vxf_run "$src" "$VX_TMP/nocap" "${S}S" "${S}E" "${S}H" "${S}K" "${S}OWNER" "${S}XATTR" "${S}HARDLINKS" "${S}Q"
VX_BIN=$VX_BIN_SAVED
assert_rc 0 "without CAP_CHOWN"
assert_eq 1 "$(grep -c . "$VX_ERR")" "without CAP_CHOWN: one line on stderr"
assert_eq "0:0 755" "$(stat -c '%u:%g %a' "$VX_TMP/nocap/suid")" "without CAP_CHOWN: the copier's, no setuid"
assert_eq kept "$(getfattr --absolute-names --only-values -n user.comment "$VX_TMP/nocap/d1/attrs")" "without CAP_CHOWN: attributes"
pass "without CAP_CHOWN, -OWNER says so once and copies as without it"
