#!/usr/bin/env bash
# The packages CPack makes: on Linux three .deb, libveltrixcore1 (the library),
# libveltrixcore-dev (header, .so link, pkg-config, CMake package) and
# veltrix (the program), that lintian accepts (no error, no warning that the
# package does not override), whose files run where dpkg puts them, and that
# dpkg installs and removes cleanly; for Windows a .zip of each width with the
# program, the library, the header, the import library, the README and the
# French LISEZMOI.txt.
#
# The dpkg install runs on this system's package database inside a private
# mount namespace whose /usr, /var and /etc are overlays in a temporary
# folder, so nothing of it outlives the test. VELTRIX_DEB_SYSTEM=1 (a fresh CI
# machine) installs and removes on the system itself instead.
set -u
fail() { echo "FAIL [test_package.sh] $*" >&2; exit 1; }
pass() { echo "ok   [test_package.sh] $*"; }
skip() { echo "SKIP [test_package.sh] $*"; }
packages="libveltrixcore1 libveltrixcore-dev veltrix"

# ---- Inside the private namespace (or on the system): dpkg -i, run, dpkg -r -------
if [ "${1:-}" = --dpkg ]; then
  tree=$2 mode=$3 version=$4
  shift 4
  if [ "$mode" = overlay ]; then
    for d in usr var etc; do
      mkdir -p "$tree/$d.upper" "$tree/$d.work"
      mount -t overlay overlay -o "lowerdir=/$d,upperdir=$tree/$d.upper,workdir=$tree/$d.work" "/$d" ||
        { echo "no overlay on /$d"; exit 2; }
    done
  fi
  for package in $packages; do
    if dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -q '^installed'; then
      echo "$package is already installed"; exit 1
    fi
  done
  dpkg -i "$@" >"$tree/dpkg-i.log" 2>&1 </dev/null || { echo "dpkg -i: $(tail -5 "$tree/dpkg-i.log")"; exit 1; }
  # shellcheck disable=SC2086
  dpkg -L $packages >"$tree/files" || exit 1
  # The library's package activates the ldconfig trigger: the loader's cache knows the library.
  ldconfig -p | grep -q 'libVeltrixCore\.so\.1 ' || { echo "libVeltrixCore.so.1 not in the loader's cache"; exit 1; }
  /usr/bin/Veltrix --version </dev/null >"$tree/version.txt" 2>&1 || { echo "Veltrix --version: $(cat "$tree/version.txt")"; exit 1; }
  [ "$(cat "$tree/version.txt")" = "Veltrix $version" ] || { echo "Veltrix --version: $(cat "$tree/version.txt")"; exit 1; }
  /usr/bin/veltrix -? </dev/null >"$tree/help.txt" 2>&1 || { echo "veltrix -?: $(tail -3 "$tree/help.txt")"; exit 1; }
  grep -q 'Signification des param' "$tree/help.txt" || { echo "no help page"; exit 1; }
  mkdir -p "$tree/src" && printf 'un' >"$tree/src/a.txt"
  /usr/bin/Veltrix "$tree/src" "$tree/dst" -V </dev/null >"$tree/copy.txt" 2>&1 ||
    { echo "copy: $(tail -3 "$tree/copy.txt")"; exit 1; }
  cmp -s "$tree/src/a.txt" "$tree/dst/a.txt" || { echo "the copy differs"; exit 1; }
  # Minimal images tell dpkg to leave manual pages out.
  if ! grep -rqs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d; then
    for name in Veltrix veltrix; do
      man -w "$name" >/dev/null 2>&1 || { echo "man does not find the installed page $name"; exit 1; }
    done
  fi
  # shellcheck disable=SC2086
  dpkg -r $packages >"$tree/dpkg-r.log" 2>&1 || { echo "dpkg -r: $(tail -5 "$tree/dpkg-r.log")"; exit 1; }
  left=$(while read -r f; do [ -f "$f" ] || [ -L "$f" ] && echo "$f"; done <"$tree/files")
  [ -z "$left" ] || { echo "left after dpkg -r: $left"; exit 1; }
  # shellcheck disable=SC2086
  dpkg -P $packages >>"$tree/dpkg-r.log" 2>&1 || { echo "dpkg -P: $(tail -5 "$tree/dpkg-r.log")"; exit 1; }
  for package in $packages; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)
    [ -z "$status" ] || [ "$status" = not-installed ] || { echo "$package status after purge: $status"; exit 1; }
  done
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
  expected="bin/Veltrix.exe bin/VeltrixCore.dll include/veltrix/VeltrixCore.h lib/libVeltrixCore.dll.a README.md
            LISEZMOI.txt"
  [ "$width" = 32 ] && expected="$expected bin/libgcc_s_dw2-1.dll bin/libwinpthread-1.dll"
  for file in $expected; do
    [ -f "$top/$file" ] || fail "$(basename "$zip") lacks $file"
  done
  pass "$(basename "$zip"): program, library, header, import library, README, LISEZMOI.txt"
  # For Windows users: UTF-8 with its byte order mark, CR LF, the exit codes and the manual.
  readme=$top/LISEZMOI.txt
  [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "LISEZMOI.txt has no UTF-8 byte order mark"
  [ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "LISEZMOI.txt has lines without CR LF"
  for code in 0 1 2 3 5; do grep -q "^  $code  " "$readme" || fail "LISEZMOI.txt lacks exit code $code"; done
  grep -q 'Veltrix /?' "$readme" && grep -q 'README.md' "$readme" || fail "LISEZMOI.txt does not say where the manual is"
  pass "LISEZMOI.txt: UTF-8 with CR LF, the exit codes and where the manual is"
  if [ $wine = 1 ]; then
    "$VX_WINE_RUN" "$top/bin/Veltrix.exe" '/?' </dev/null >"$work/help.txt" 2>&1 ||
      fail "Veltrix.exe /? from the .zip: $(tail -3 "$work/help.txt")"
    grep -q 'Signification des param' "$work/help.txt" || fail "no help page from the .zip"
    pass "the program of the .zip prints its help page"
  fi
  exit 0
fi

# ---- Linux: three .deb -------------------------------------------------------------
deb() { ls "$work/packages/$1"_*.deb 2>/dev/null | head -1; }
runtime=$(deb libveltrixcore1) development=$(deb libveltrixcore-dev) program=$(deb veltrix)
[ -n "$runtime" ] && [ -n "$development" ] && [ -n "$program" ] || fail "not three .deb: $(ls "$work/packages")"
version=$(dpkg-deb -f "$program" Version)
upstream=${version%-*}

# Depends, without versions: the C and C++ runtimes, and the library's own package.
depends() { dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/[[:space:]]*(.*//; s/^[[:space:]]*//' | sort | tr '\n' ' '; }
[ "$(depends "$runtime")" = "libc6 libgcc-s1 libstdc++6 " ] || fail "libveltrixcore1 depends on: $(depends "$runtime")"
[ "$(depends "$program")" = "libc6 libgcc-s1 libstdc++6 libveltrixcore1 " ] || fail "veltrix depends on: $(depends "$program")"
[ "$(dpkg-deb -f "$development" Depends)" = "libveltrixcore1 (= $version)" ] ||
  fail "libveltrixcore-dev depends on: $(dpkg-deb -f "$development" Depends)"
[ "$(dpkg-deb -I "$runtime" shlibs)" = "libVeltrixCore 1 libveltrixcore1 (>= $upstream)" ] ||
  fail "libveltrixcore1's shlibs: $(dpkg-deb -I "$runtime" shlibs)"
pass "libveltrixcore1, libveltrixcore-dev and veltrix $version, their dependencies and the library's shlibs"

contents() {  # deb expected-paths...
  local deb=$1 file
  shift
  dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
  for file in "$@"; do
    grep -qxF "./usr/$file" "$work/contents" || fail "$(basename "$deb") lacks /usr/$file"
  done
}
contents "$runtime" lib/libVeltrixCore.so.1.0.0 lib/libVeltrixCore.so.1
! grep -q 'libVeltrixCore\.so$' "$work/contents" || fail "the .so link is in the library's package"
contents "$development" lib/libVeltrixCore.so include/veltrix/VeltrixCore.h lib/pkgconfig/VeltrixCore.pc \
  lib/cmake/VeltrixCore/VeltrixCoreConfig.cmake lib/cmake/VeltrixCore/VeltrixCoreTargets.cmake
contents "$program" bin/Veltrix bin/veltrix share/man/man1/Veltrix.1.gz share/man/man1/veltrix.1.gz \
  share/man/fr/man1/Veltrix.1.gz share/man/fr/man1/veltrix.1.gz
pass "the library, the development files and the program with its manual pages, each in its package"

# lintian: no error and no warning that the package does not override with its reason.
command -v lintian >/dev/null || fail "lintian is not installed (apt-get install lintian)"
lintian --fail-on error,warning "$runtime" "$development" "$program" >"$work/lintian.txt" 2>"$work/lintian.err" ||
  fail "lintian: $(grep -v 'root privileges' "$work/lintian.err" | head -5)$(grep -E '^[EW]:' "$work/lintian.txt" | head -20)"
! grep -qE '^[EW]:' "$work/lintian.txt" || fail "lintian: $(grep -E '^[EW]:' "$work/lintian.txt" | head -20)"
mkdir -p "$work/x"
for package in "$runtime" "$development" "$program"; do dpkg -x "$package" "$work/x" || fail "dpkg -x $package"; done
# Each override the packages ship follows the one-line reason for it.
unexplained=$(awk '!/^#/ && NF && prev !~ /^# ./ {print FILENAME ": " $0} {prev = $0}' \
                "$work"/x/usr/share/lintian/overrides/*)
[ -z "$unexplained" ] || fail "lintian overrides without a reason: $unexplained"
overridden=$(cat "$work"/x/usr/share/lintian/overrides/* | grep -vc '^#')
pass "lintian finds no error and no warning ($overridden overridden, each with its reason)"

PKG_CONFIG_PATH=$work/x/usr/lib/pkgconfig pkg-config --variable=includedir VeltrixCore >"$work/pc.txt" ||
  fail "pkg-config does not read the package's file"
[ "$(cat "$work/pc.txt")" = /usr/include ] || fail "pkg-config's includedir: $(cat "$work/pc.txt")"
env -u LD_LIBRARY_PATH "$work/x/usr/bin/veltrix" -? </dev/null >"$work/help.txt" 2>&1 ||
  fail "veltrix -? from the unpacked packages: $(tail -3 "$work/help.txt")"
mkdir -p "$work/src" && printf 'un' >"$work/src/a.txt"
env -u LD_LIBRARY_PATH "$work/x/usr/bin/Veltrix" "$work/src" "$work/dst" </dev/null >"$work/copy.txt" 2>&1 ||
  fail "a copy with the unpacked packages: $(tail -3 "$work/copy.txt")"
cmp -s "$work/src/a.txt" "$work/dst/a.txt" || fail "the copy differs"
pass "the unpacked packages' program prints its help and copies; pkg-config gives /usr/include"

if [ "${VELTRIX_DEB_SYSTEM:-0}" = 1 ]; then
  message=$(bash "$0" --dpkg "$work" system "$upstream" "$runtime" "$development" "$program") || fail "$message"
  pass "dpkg installs the three packages on this system, they run, dpkg removes them cleanly"
elif [ "$(id -u)" = 0 ] && command -v unshare >/dev/null &&
     unshare -m --propagation private true 2>/dev/null; then
  message=$(unshare -m --propagation private bash "$0" --dpkg "$work" overlay "$upstream" \
              "$runtime" "$development" "$program")
  rc=$?
  if [ $rc = 2 ]; then
    skip "no overlay file system here: dpkg -i and -r not tried ($message)"
  else
    [ $rc = 0 ] || fail "$message"
    pass "dpkg installs the three packages (system copy in a private namespace), they run, dpkg removes them cleanly"
  fi
else
  skip "not root or no mount namespace: dpkg -i and -r not tried"
fi
