#!/usr/bin/env bash
# The manual page: no warning from the man page checkers, rendered by man,
# and in step with the help page (every switch) and the README (examples).
set -u
fail() { echo "FAIL [test_man_page.sh] $*" >&2; exit 1; }
pass() { echo "ok   [test_man_page.sh] $*"; }

if [ "${VX_WINE:-0}" = 1 ] || [ "${VX_WIDTH:-64}" = 32 ]; then
  echo "SKIP [test_man_page.sh] the manual page belongs to the Linux build"
  exit 0
fi
page=$VX_SOURCE_DIR/man/Veltrix.1
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrix-man.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8

checked=0
if command -v mandoc >/dev/null; then
  mandoc -T lint -W warning "$page" >"$work/lint" 2>&1 || true
  [ ! -s "$work/lint" ] || fail "mandoc -T lint: $(head -5 "$work/lint")"
  checked=$((checked + 1))
fi
if command -v groff >/dev/null; then
  groff -ww -z -k -man "$page" >"$work/lint" 2>&1 || fail "groff failed: $(head -5 "$work/lint")"
  [ ! -s "$work/lint" ] || fail "groff -ww: $(head -5 "$work/lint")"
  checked=$((checked + 1))
fi
[ $checked -gt 0 ] || fail "neither mandoc nor groff is installed"
pass "no warning from the man page checkers ($checked)"

command -v man >/dev/null || fail "man is not installed"
MANWIDTH=80 man -l "$page" >"$work/page.txt" 2>"$work/man.err" || fail "man -l failed: $(head -3 "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man -l: $(head -3 "$work/man.err")"
grep -q '^NOM' "$work/page.txt" && grep -q 'Veltrix, veltrix - copie de fichiers' "$work/page.txt" ||
  fail "the rendered page lacks its name section"
for section in SYNOPSIS DESCRIPTION OPTIONS 'FICHIERS DE LISTE' 'CODES DE RETOUR' 'NOTES LINUX' EXEMPLES; do
  grep -q "^$section" "$work/page.txt" || fail "no section $section"
done
pass "man -l renders the page with its sections"

# Joined words, no line breaks or hyphenation: the checks below look for
# whole switches and commands.
MANWIDTH=1000 man -l "$page" 2>/dev/null | sed 's/^ *//' >"$work/wide.txt"
iconv -f CP1252 -t UTF-8 "$VX_SOURCE_DIR/resources/cmdinfo.txt" |
  sed -n 's/^\(-[A-Z]*\)[:\t].*/\1/p; s/^\(-[A-Z]*\)\r\{0,1\}$/\1/p' | sort -u >"$work/switches"
[ "$(wc -l <"$work/switches")" -ge 25 ] || fail "the help page's switches were not found"
echo -SYNCHRONIZE >>"$work/switches"
echo -SILENT >>"$work/switches"
while read -r switch; do
  grep -qE -- "(^|[^A-Z])$switch([^A-Z]|$)" "$work/wide.txt" || fail "switch $switch is not in the manual page"
done <"$work/switches"
pass "every switch of the help page is described ($(wc -l <"$work/switches"))"

sed -n '/^CODES DE RETOUR/,/^ENVIRONNEMENT/p' "$work/wide.txt" >"$work/codes"
for code in 0 1 2 3 5; do
  grep -qE "^$code +[A-Z]" "$work/codes" || fail "exit code $code is not listed"
done
pass "exit codes 0, 1, 2, 3 and 5"

# The README's Linux examples are the page's.
sed -n '/^## Examples/,/^```$/p' "$VX_SOURCE_DIR/README.md" | grep '^Veltrix ' >"$work/examples"
[ -s "$work/examples" ] || fail "no example found in README.md"
while read -r example; do
  grep -qxF -- "$example" "$work/wide.txt" || fail "README example not in the page: $example"
done <"$work/examples"
pass "the examples of the README are in the page"
