#!/usr/bin/env bash
# Deep trees, which any user can build under a tree root copies at night: a
# copy of 20,000 levels, deeper than the descriptor limit lets a walk hold,
# ends as a failed copy, never a crash; a purge of 12,000 levels below the
# destination removes them all where the limit allows, and fails (exit 2,
# logged, nothing of that chain lost) where it does not.
source "$(dirname "$0")/lib.sh"
vxf_linux_only "deep trees"
vx_engine_ready || { skip "engine not built yet"; exit 0; }
command -v perl >/dev/null || { skip "deep trees: perl missing"; exit 0; }

S=$VX_SW
VXF_TIMEOUT=300
# In memory where the machine has room: deep trees are slow to make and
# remove on a disk.
work=$VX_TMP
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  work=$(mktemp -d /dev/shm/veltrix-deep.XXXXXX) && trap 'rm -rf "$work"; vxf_cleanup' EXIT || work=$VX_TMP
fi
src=$work/src
dst=$work/dst

# deep ROOT LEVELS: a chain of LEVELS folders "d" below ROOT, a file in each.
deep() {
  perl -e 'my ($root, $n) = @ARGV; chdir $root or die;
           for (1..$n) { mkdir "d" or die "mkdir: $!"; chdir "d" or die; open my $f, ">", "a.txt" or die; print $f "$_\n"; }' "$1" "$2"
}
depth() {  # how many "d" levels lie below $1
  perl -e 'my $n = 0; chdir $ARGV[0] or die; while (chdir "d") { $n++ } print $n' "$1"
}

limit() { ulimit -n "$1" 2>/dev/null || { skip "deep trees: cannot set a descriptor limit of $1"; exit 0; }; }
mkdir -p "$src" "$dst"
deep "$src" 20000

# A listing holds one descriptor a level: it goes as deep as 20,000
# descriptors allow, far below where a recursive walk ran out of stack.
limit 20000
vxf_run "$src" NUL "${S}S" "${S}L" "${S}Q"
vxf_rc_clean "listing of 20,000 levels"
assert_eq 0 "$VX_RC" "a listing of 20,000 levels"
listed=$(grep -o "^[0-9]* fichier" "$VX_OUT" | cut -d' ' -f1)
[ "${listed:-0}" -gt 19000 ] || fail "deep listing: only ${listed:-0} levels listed"
pass "a listing of 20,000 levels walks $listed of them, no crash"

# With a descriptor limit of 20,000 (two per level: source and copy), the
# walk cannot hold the whole chain.
limit 20000
vxf_run "$src" "$dst" "${S}S" "${S}LOG:$VX_TMP/copy.log"
vxf_rc_clean "copy of 20,000 levels"
assert_eq 2 "$VX_RC" "a tree too deep for the descriptor limit is a failed copy"
grep -q "Erreur lors de la copie de" "$VX_TMP/copy.log" || fail "deep copy: no failed copy logged"
reached=$(depth "$dst")
[ "$reached" -gt 5000 ] || fail "deep copy: only $reached levels copied"
pass "a copy of 20,000 levels copies what the descriptors allow ($reached levels) and fails, no crash"

# The purge: 12,000 levels in the destination that the source lacks.
rm -rf "$src" "$dst"
mkdir -p "$src" "$dst/old"
printf 'a' >"$src/a.txt"
deep "$dst/old" 12000
vxf_run "$src" "$dst" "${S}SYNCHRONIZE"
vxf_rc_clean "purge of 12,000 levels"
assert_eq 0 "$VX_RC" "a deep purge within the limit"
[ ! -e "$dst/old" ] || fail "deep purge: $(depth "$dst/old") levels left"
pass "a purge of 12,000 levels removes them all"

mkdir -p "$dst/old"
deep "$dst/old" 12000
limit 12000
vxf_run "$src" "$dst" "${S}SYNCHRONIZE" "${S}LOG:$VX_TMP/purge.log"
vxf_rc_clean "purge of 12,000 levels, too few descriptors"
assert_eq 2 "$VX_RC" "a purge cut short by the descriptor limit fails the run"
grep -q "Impossible de lister le dossier" "$VX_TMP/purge.log" || fail "deep purge: the failure is not logged"
assert_eq 12000 "$(depth "$dst/old")" "deep purge: a folder of the chain it could not walk was removed"
[ "$(wc -l <"$VX_ERR")" -lt 10 ] || fail "deep purge: a notice for every folder above the one it could not open"
rm -f "$VX_TMP"/*.log
pass "a purge deeper than the descriptor limit keeps that chain, logs it and exits 2"
