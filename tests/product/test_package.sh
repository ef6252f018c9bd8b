#!/usr/bin/env bash
# The packages CPack makes: on Linux a .deb that depends on the C and C++
# runtimes only, whose files run where dpkg puts them, and that dpkg installs
# and removes cleanly; for Windows a .zip of each width with the program, the
# library, the header, the import library and the README.
#
# The dpkg install runs on this system's package database inside a private
# mount namespace whose /usr, /var and /etc are overlays in a temporary
# folder, so nothing of it outlives the test. VELTRIX_DEB_SYSTEM=1 (a fresh CI
# machine) installs and removes on the system itself instead.
set -u
fail() { echo "FAIL [test_package.sh] $*" >&2; exit 1; }
pass() { echo "ok   [test_package.sh] $*"; }
skip() { echo "SKIP [test_package.sh] $*"; }

# ---- Inside the private namespace (or on the system): dpkg -i, run, dpkg -r -------
if [ "${1:-}" = --dpkg ]; then
  deb=$2 tree=$3
  if [ "${3:-}" != "" ] && [ "${4:-}" = overlay ]; then
    for d in usr var etc; do
      mkdir -p "$tree/$d.upper" "$tree/$d.work"
      mount -t overlay overlay -o "lowerdir=/$d,upperdir=$tree/$d.upper,workdir=$tree/$d.work" "/$d" ||
        { echo "no overlay on /$d"; exit 2; }
    done
  fi
  if dpkg-query -W -f='${db:Status-Status}' veltrix 2>/dev/null | grep -q '^installed'; then
    echo "veltrix is already installed"; exit 1
  fi
  dpkg -i "$deb" >"$tree/dpkg-i.log" 2>&1 || { echo "dpkg -i: $(tail -5 "$tree/dpkg-i.log")"; exit 1; }
  dpkg -L veltrix >"$tree/files" || exit 1
  /usr/bin/Veltrix -? </dev/null >"$tree/help.txt" 2>&1 || { echo "Veltrix -?: $(tail -3 "$tree/help.txt")"; exit 1; }
  grep -q 'Signification des param' "$tree/help.txt" || { echo "no help page"; exit 1; }
  mkdir -p "$tree/src" && printf 'un' >"$tree/src/a.txt"
  /usr/bin/Veltrix "$tree/src" "$tree/dst" -V </dev/null >"$tree/copy.txt" 2>&1 ||
    { echo "copy: $(tail -3 "$tree/copy.txt")"; exit 1; }
  cmp -s "$tree/src/a.txt" "$tree/dst/a.txt" || { echo "the copy differs"; exit 1; }
  # Minimal images tell dpkg to leave manual pages out.
  if ! grep -rqs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d; then
    man -w Veltrix >/dev/null 2>&1 || { echo "man does not find the installed page"; exit 1; }
  fi
  dpkg -r veltrix >"$tree/dpkg-r.log" 2>&1 || { echo "dpkg -r: $(tail -5 "$tree/dpkg-r.log")"; exit 1; }
  left=$(while read -r f; do [ -f "$f" ] || [ -L "$f" ] && echo "$f"; done <"$tree/files")
  [ -z "$left" ] || { echo "left after dpkg -r: $left"; exit 1; }
  # The ldconfig scripts keep the package known until it is purged.
  dpkg -P veltrix >>"$tree/dpkg-r.log" 2>&1 || { echo "dpkg -P: $(tail -5 "$tree/dpkg-r.log")"; exit 1; }
  status=$(dpkg-query -W -f='${db:Status-Status}' veltrix 2>/dev/null)
  [ -z "$status" ] || [ "$status" = not-installed ] || { echo "package status after purge: $status"; exit 1; }
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/veltrix-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
wine=${VX_WINE:-0}
case "$wine" in 1|ON|on|TRUE|true) wine=1 ;; *) wine=0 ;; esac
width=${VX_WIDTH:-64}

cpack --config "$VX_BUILD_DIR/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(tail -5 "$work/cpack.log")"

# ---- Windows ----------------------------------------------------------------------
if [ $wine = 1 ] || [ "$width" = 32 ]; then
  name=win64
  [ "$width" = 32 ] && name=win32
  zip=$(ls "$work/packages"/veltrix-*-$name.zip 2>/dev/null | head -1)
  [ -n "$zip" ] || fail "no $name .zip: $(ls "$work/packages")"
  (cd "$work" && cmake -E tar xf "$zip") || fail "the .zip does not unpack"
  top=$work/$(basename "$zip" .zip)
  expected="bin/Veltrix.exe bin/VeltrixCore.dll include/veltrix/VeltrixCore.h lib/libVeltrixCore.dll.a README.md"
  [ "$width" = 32 ] && expected="$expected bin/libgcc_s_dw2-1.dll bin/libwinpthread-1.dll"
  for file in $expected; do
    [ -f "$top/$file" ] || fail "$(basename "$zip") lacks $file"
  done
  pass "$(basename "$zip"): program, library, header, import library, README"
  if [ $wine = 1 ]; then
    "$VX_WINE_RUN" "$top/bin/Veltrix.exe" '/?' </dev/null >"$work/help.txt" 2>&1 ||
      fail "Veltrix.exe /? from the .zip: $(tail -3 "$work/help.txt")"
    grep -q 'Signification des param' "$work/help.txt" || fail "no help page from the .zip"
    pass "the program of the .zip prints its help page"
  fi
  exit 0
fi

# ---- Linux: the .deb ---------------------------------------------------------------
deb=$(ls "$work/packages"/veltrix_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no .deb: $(ls "$work/packages")"
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in $(tr ',' '\n' <<<"$depends" | sed 's/[[:space:]]*(.*//; s/^[[:space:]]*//'); do
  case $dependency in
    libc6|libgcc-s1|libstdc++6) ;;
    *) fail "depends on $dependency ($depends)" ;;
  esac
done
dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for file in ./usr/bin/Veltrix ./usr/lib/libVeltrixCore.so.1.0.0 ./usr/include/veltrix/VeltrixCore.h \
            ./usr/share/man/man1/Veltrix.1 ./usr/share/man/fr/man1/Veltrix.1 \
            ./usr/lib/pkgconfig/VeltrixCore.pc ./usr/lib/cmake/VeltrixCore/VeltrixCoreConfig.cmake; do
  grep -qxF "$file" "$work/contents" || fail "the .deb lacks $file"
done
pass "the .deb holds program, library, header, manual pages and package files; depends on: $depends"

dpkg -x "$deb" "$work/x" || fail "dpkg -x"
env -u LD_LIBRARY_PATH "$work/x/usr/bin/Veltrix" -? </dev/null >"$work/help.txt" 2>&1 ||
  fail "Veltrix -? from the unpacked .deb: $(tail -3 "$work/help.txt")"
mkdir -p "$work/src" && printf 'un' >"$work/src/a.txt"
env -u LD_LIBRARY_PATH "$work/x/usr/bin/Veltrix" "$work/src" "$work/dst" </dev/null >"$work/copy.txt" 2>&1 ||
  fail "a copy with the unpacked .deb: $(tail -3 "$work/copy.txt")"
cmp -s "$work/src/a.txt" "$work/dst/a.txt" || fail "the copy differs"
pass "the unpacked .deb's program prints its help and copies"

if [ "${VELTRIX_DEB_SYSTEM:-0}" = 1 ]; then
  message=$(bash "$0" --dpkg "$deb" "$work" system) || fail "$message"
  pass "dpkg installs the .deb on this system, it runs, dpkg removes it cleanly"
elif [ "$(id -u)" = 0 ] && command -v unshare >/dev/null &&
     unshare -m --propagation private true 2>/dev/null; then
  message=$(unshare -m --propagation private bash "$0" --dpkg "$deb" "$work" overlay)
  rc=$?
  if [ $rc = 2 ]; then
    skip "no overlay file system here: dpkg -i and -r not tried ($message)"
  else
    [ $rc = 0 ] || fail "$message"
    pass "dpkg installs the .deb (system copy in a private namespace), it runs, dpkg removes it cleanly"
  fi
else
  skip "not root or no mount namespace: dpkg -i and -r not tried"
fi
