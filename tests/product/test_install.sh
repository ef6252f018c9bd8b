#!/usr/bin/env bash
# The installed product: `cmake --install` into a temporary prefix, then the
# installed program copies the example tree, prints its version and its help
# page (read from the library it loaded, in lib/ beside bin/), also under its
# lower-case name, the manual page renders under both names, and the example
# host builds against the installed files, with find_package and with
# pkg-config (plain paths), and runs.
set -u
fail() { echo "FAIL [test_install.sh] $*" >&2; exit 1; }
pass() { echo "ok   [test_install.sh] $*"; }

wine=${VX_WINE:-0}
case "$wine" in 1|ON|on|TRUE|true) wine=1 ;; *) wine=0 ;; esac
width=${VX_WIDTH:-64}
windows=$wine
[ "$width" = 32 ] && windows=1
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrix-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
jobs=${VELTRIX_JOBS:-2}

cmake --install "$VX_BUILD_DIR" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  fail "cmake --install: $(tail -5 "$work/install.log")"

# ---- Layout ---------------------------------------------------------------------
if [ $windows = 1 ]; then
  expected="bin/Veltrix.exe bin/VeltrixCore.dll lib/libVeltrixCore.dll.a include/veltrix/VeltrixCore.h
            README.md LISEZMOI.txt lib/pkgconfig/VeltrixCore.pc lib/cmake/VeltrixCore/VeltrixCoreConfig.cmake"
  [ "$width" = 32 ] && expected="$expected bin/libgcc_s_dw2-1.dll bin/libwinpthread-1.dll"
else
  expected="bin/Veltrix bin/veltrix lib/libVeltrixCore.so lib/libVeltrixCore.so.1 lib/libVeltrixCore.so.1.0.0
            include/veltrix/VeltrixCore.h share/man/man1/Veltrix.1.gz share/man/fr/man1/Veltrix.1.gz
            share/man/man1/veltrix.1.gz share/man/fr/man1/veltrix.1.gz
            lib/pkgconfig/VeltrixCore.pc lib/cmake/VeltrixCore/VeltrixCoreConfig.cmake
            lib/cmake/VeltrixCore/VeltrixCoreConfigVersion.cmake share/doc/veltrix/README.md"
fi
for file in $expected; do
  [ -e "$prefix/$file" ] || fail "$file not installed"
done
if [ $windows = 0 ]; then
  soname=$(readelf -d "$prefix/lib/libVeltrixCore.so.1.0.0" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = libVeltrixCore.so.1 ] || fail "soname [$soname]"
  runpath=$(readelf -d "$prefix/bin/Veltrix" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p')
  [ "$runpath" = '$ORIGIN:$ORIGIN/../lib' ] || fail "installed program's run path [$runpath]"
  for link in bin/veltrix share/man/man1/veltrix.1.gz share/man/fr/man1/veltrix.1.gz; do
    target=$(readlink "$prefix/$link")
    [ "$target" = "$(basename "$link" | sed 's/^v/V/')" ] || fail "$link links to [$target]"
  done
  # A file already named veltrix (in a folder whose names ignore case, the
  # program itself) is never replaced by the link.
  mkdir -p "$work/kept/bin" && printf 'mine' >"$work/kept/bin/veltrix"
  cmake --install "$VX_BUILD_DIR" --prefix "$work/kept" >"$work/kept.log" 2>&1 || fail "install over bin/veltrix failed"
  [ ! -L "$work/kept/bin/veltrix" ] && [ "$(cat "$work/kept/bin/veltrix")" = mine ] ||
    fail "the link replaced a file named veltrix"
  # Debian's own files (copyright, changelog, lintian overrides) go into the packages only.
  [ ! -e "$prefix/share/lintian" ] && [ ! -e "$prefix/share/doc/veltrix/copyright" ] ||
    fail "a plain install holds the packages' Debian files"
fi
pass "bin, lib, include, package files and manual pages in place"

[ "$width" = 32 ] && { echo "SKIP [test_install.sh] i686 programs cannot run here; hosts are built only"; }

# ---- The installed program ---------------------------------------------------------
run() {  # program args...
  if [ $wine = 1 ]; then "$VX_WINE_RUN" "$@"; else env -u LD_LIBRARY_PATH "$@"; fi
}
path() { if [ $wine = 1 ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi; }

if [ "$width" != 32 ]; then
  program=$prefix/bin/Veltrix
  help=-?
  [ $wine = 1 ] && { program=$prefix/bin/Veltrix.exe; help=/?; }
  run "$program" "$help" </dev/null >"$work/help.txt" 2>"$work/help.err"
  rc=$?
  [ $rc = 0 ] || fail "installed Veltrix $help: exit code $rc: $(head -3 "$work/help.err")"
  grep -q "Signification des param" "$work/help.txt" || fail "installed Veltrix printed no help page"
  pass "the installed program prints the help page of the library it loaded"

  version=$(sed -n 's/^project(Veltrix VERSION \([0-9.]*\).*/\1/p' "$VX_SOURCE_DIR/CMakeLists.txt")
  run "$program" --version </dev/null >"$work/version.txt" 2>&1 || fail "installed Veltrix --version: $(cat "$work/version.txt")"
  [ "$(tr -d '\r' <"$work/version.txt")" = "Veltrix $version" ] || fail "--version printed [$(cat "$work/version.txt")]"
  if [ $wine = 0 ]; then
    run "$prefix/bin/veltrix" -? </dev/null >"$work/help.txt" 2>&1 || fail "installed veltrix -?: $(tail -3 "$work/help.txt")"
    grep -q "Signification des param" "$work/help.txt" || fail "installed veltrix -? printed no help page"
  fi
  pass "the installed program prints its version ($version); veltrix is the program too"

  run "$program" "$(path "$VX_SOURCE_DIR/examples/arbre")" "$(path "$work/copie")" -E -V \
    </dev/null >"$work/copy.txt" 2>&1
  rc=$?
  [ $rc = 0 ] || fail "installed Veltrix copying the example tree: exit code $rc: $(tail -3 "$work/copy.txt")"
  # .gitkeep is hidden: not copied without -H.
  diff -r -x .gitkeep "$VX_SOURCE_DIR/examples/arbre" "$work/copie" >/dev/null || fail "the copied tree differs"
  [ -d "$work/copie/vide" ] || fail "the empty folder was not made under -E"
  pass "the installed program copies the example tree"

  # The run path is relative to the program: the tree may be moved.
  mv "$prefix" "$work/moved"
  run "${program/$prefix/$work/moved}" "$help" </dev/null >"$work/help.txt" 2>&1 ||
    fail "the moved program: $(tail -3 "$work/help.txt")"
  grep -q "Signification des param" "$work/help.txt" || fail "the moved program printed no help page"
  mv "$work/moved" "$prefix"
  pass "a moved installed tree still runs"
fi

if [ $windows = 0 ]; then
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$prefix/share/man/fr/man1/Veltrix.1.gz" >"$work/man.txt" 2>"$work/man.err" ||
    fail "man -l: $(head -3 "$work/man.err")"
  [ ! -s "$work/man.err" ] || fail "man -l: $(head -3 "$work/man.err")"
  for name in Veltrix veltrix; do
    LC_ALL=C.UTF-8 MANWIDTH=80 man -M "$prefix/share/man" "$name" >"$work/man2.txt" 2>/dev/null ||
      fail "man finds no page $name under share/man"
    grep -q 'copie de fichiers et d.arborescences' "$work/man2.txt" || fail "the installed page $name does not render"
  done
  pass "man renders the installed page, as Veltrix and as veltrix"
fi

# ---- Hosts built against the installed files ---------------------------------------
toolchain=()
# Under Wine the host finds no compiler runtime DLLs: it carries its own.
[ $windows = 1 ] && toolchain=("-DCMAKE_TOOLCHAIN_FILE=$VX_TOOLCHAIN_FILE" "-DCMAKE_EXE_LINKER_FLAGS=-static")
cmake -S "$VX_SOURCE_DIR/examples/linked" -B "$work/linked" "${toolchain[@]}" \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_PREFIX_PATH=$prefix" >"$work/linked.log" 2>&1 &&
  cmake --build "$work/linked" -j "$jobs" >>"$work/linked.log" 2>&1 ||
  fail "the linked example does not build with find_package: $(grep -m3 -iE 'error|could not' "$work/linked.log")"

# The C header alone, as C99 and C11, warnings as errors.
printf '%s\n' '#include <veltrix/VeltrixCore.h>' \
  'static CopyRec r;' 'int main(void) { FillCopyRecProc f = FillCopyRec; return f(&r, "a") ? 0 : AnswerYes; }' \
  >"$work/c.c"
for std in c99 c11; do
  "$VX_C_COMPILER" "-std=$std" -Wall -Wextra -pedantic -Werror -I"$prefix/include" -c "$work/c.c" \
    -o "$work/c.o" 2>"$work/c.err" || fail "the header as $std: $(head -3 "$work/c.err")"
done

pcflags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs VeltrixCore) ||
  fail "pkg-config does not know VeltrixCore"
if [ $windows = 0 ]; then
  # Plain paths under the install prefix, as a distribution's own files give them.
  # shellcheck disable=SC2086
  [ "$(echo $pcflags)" = "-I$prefix/include -L$prefix/lib -lVeltrixCore" ] || fail "pkg-config gives [$pcflags]"
fi
linked=$work/linked/veltrix_linked
pkghost=$work/pkgconfig_host
extra=()
if [ $windows = 1 ]; then
  linked=$linked.exe
  pkghost=$pkghost.exe
  # -static would not take the import library; the thread DLL is put on
  # Wine's path below instead.
  extra=(-static-libstdc++ -static-libgcc)
else
  extra=("-Wl,-rpath,$prefix/lib")
fi
# shellcheck disable=SC2086
"$VX_CXX_COMPILER" -std=c++11 "$VX_SOURCE_DIR/examples/linked/main.cpp" $pcflags "${extra[@]}" \
  -o "$pkghost" 2>"$work/pc.err" || fail "the example does not build with pkg-config: $(head -3 "$work/pc.err")"
pass "the example host builds against the installed package (find_package, pkg-config, C99 and C11)"

if [ "$width" != 32 ]; then
  mkdir -p "$work/src"
  printf 'un' >"$work/src/a.txt"
  WINEPATH=$(path "$prefix/bin")
  if [ $wine = 1 ]; then
    threads=$("$VX_CXX_COMPILER" -print-file-name=libwinpthread-1.dll)
    WINEPATH="$WINEPATH;$(path "$(dirname "$threads")")"
  fi
  export WINEPATH
  for host in "$linked" "$pkghost"; do
    rm -rf "$work/dst"
    run "$host" "$(path "$work/src")" "$(path "$work/dst")" </dev/null >"$work/host.txt" 2>&1
    rc=$?
    [ $rc = 0 ] || fail "$(basename "$host"): exit code $rc: $(tail -3 "$work/host.txt")"
    grep -q '^1 fichier(s), resultat 0' "$work/host.txt" || fail "$(basename "$host"): $(cat "$work/host.txt")"
    [ -f "$work/dst/a.txt" ] || fail "$(basename "$host") copied nothing"
  done
  # An unexpected failure of the engine reaches a C++ host as an exception.
  run "$linked" "$(path "$work/src")" "$(path "$work/dst")" -D:xyz </dev/null >"$work/host.txt" 2>&1
  rc=$?
  [ $rc = 1 ] || fail "a raised failure: exit code $rc: $(tail -3 "$work/host.txt")"
  grep -q "^echec : 'XYZ' ne correspond pas" "$work/host.txt" || fail "a raised failure: $(cat "$work/host.txt")"
  pass "the linked hosts run: a session, and a failure caught as a C++ exception"
fi
