#!/usr/bin/env bash
# Dates and times end to end, in zones west and east of UTC: the day of a
# file written around local midnight (absolute and relative -D), the packed
# times of the autumn's repeated hour, and, under Wine, a time format with a
# separator outside ASCII in the log's session lines.
source "$(dirname "$0")/lib.sh"
vx_engine_ready || { skip "engine not built yet"; exit 0; }

S=$VX_SW
# dd/mm/yyyy on Linux (Wine runs as a French system whatever the locale).
export LC_ALL=C
src=$VX_TMP/src

# Three empty files: the last tick of the day before, local midnight and the
# tick after it, in the given zone.
make_midnight() {  # zone day previous-day
  rm -rf "$src" && mkdir -p "$src"
  TZ=$1 touch -d "$3 23:59:59.9999999" "$src/avant.txt"
  TZ=$1 touch -d "$2 00:00:00" "$src/minuit.txt"
  TZ=$1 touch -d "$2 00:00:00.0000001" "$src/apres.txt"
}

# Which of the three files a listing run in the zone selects.
selected() {  # zone date-switch
  TZ=$1 vx_run "$(vx_path "$src")" "$(vx_path "$VX_TMP/dst")" "${S}$2" "${S}L" "${S}SILENT"
  assert_rc 0 "$1 -$2"
  local name list=
  for name in avant minuit apres; do
    if grep -qa "$name.txt" "$VX_OUT"; then list="$list $name"; fi
  done
  printf '%s' "${list# }"
}

# ---- A file of local midnight is on its own day -----------------------------------

for zone in America/New_York Asia/Shanghai Europe/Athens UTC; do
  make_midnight "$zone" 2003-01-23 2003-01-22
  assert_eq "minuit apres" "$(selected "$zone" D:23/01/2003=)" "$zone: files of 23/01/2003"
  assert_eq "avant" "$(selected "$zone" D:22/01/2003=)" "$zone: files of 22/01/2003"
  assert_eq "avant" "$(selected "$zone" D:22/01/2003-=)" "$zone: files up to 22/01/2003"
done
pass "local midnight and the tick after it are on their day, the tick before on the day before"

# The relative form counts from today's midnight; zones without daylight
# saving, so that the base bias is the offset in force.
for zone in America/Bogota Asia/Shanghai UTC; do
  day=$(TZ=$zone date -d '3 days ago' +%F)
  before=$(TZ=$zone date -d '4 days ago' +%F)
  make_midnight "$zone" "$day" "$before"
  assert_eq "minuit apres" "$(selected "$zone" D:=3)" "$zone: -D:=3"
  assert_eq "avant" "$(selected "$zone" D:=4)" "$zone: -D:=4"
done
pass "-D:=3 takes the files of local midnight three days ago and not the tick before"

# ---- The autumn's repeated hour --------------------------------------------------

# In Paris 00:30 and 01:30 UTC on 29 October 2023 are both 02:30 local time:
# a changed file of the same size must still be copied.
mkdir -p "$VX_TMP/p/src" "$VX_TMP/p/dst"
printf 'nouveau' >"$VX_TMP/p/src/f.txt"
printf 'ancien.' >"$VX_TMP/p/dst/f.txt"
touch -d '2023-10-29 01:30:00 UTC' "$VX_TMP/p/src/f.txt"
touch -d '2023-10-29 00:30:00 UTC' "$VX_TMP/p/dst/f.txt"
TZ=Europe/Paris vx_run "$(vx_path "$VX_TMP/p/src")" "$(vx_path "$VX_TMP/p/dst")" "${S}SILENT"
assert_rc 0 "repeated hour"
assert_eq "nouveau" "$(cat "$VX_TMP/p/dst/f.txt")" "a file an hour apart in the repeated hour was skipped"
TZ=Europe/Paris vx_run "$(vx_path "$VX_TMP/p/src")" "$(vx_path "$VX_TMP/p/dst")" "${S}SILENT"
assert_contains "$VX_OUT" "0 $(vx_console 'fichier(s) copié(s).')" "the copy is identical afterwards"
pass "two times of the autumn's repeated hour stay apart; the copy then matches"

# ---- A time format beyond ASCII (Windows) -------------------------------------------

# The session lines hold the date-time text as the system formats it, in the
# ANSI code page, like the stamped lines. Wine reads the format from the
# user's registry: the run gets a prefix of its own, sharing the Windows
# folder of the usual one read-only, so the usual prefix is never changed.
if [ "$VX_WINE" = 1 ]; then
  base=${WINEPREFIX:-$HOME/.wine-veltrix}
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  if [ ! -f "$base/user.reg" ] || [ ! -d "$base/drive_c/windows" ]; then
    skip "no prepared Wine prefix to copy the registry from"
    exit 0
  fi
  prefix=$VX_TMP/prefix
  mkdir -p "$prefix/dosdevices" "$prefix/drive_c"
  cp "$base/system.reg" "$base/user.reg" "$base/userdef.reg" "$prefix/"
  echo disable >"$prefix/.update-timestamp"  # never update the shared Windows folder
  ln -s "$base/drive_c/windows" "$prefix/drive_c/windows"
  ln -s ../drive_c "$prefix/dosdevices/c:"
  ln -s / "$prefix/dosdevices/z:"
  export WINEPREFIX=$prefix
  "$VX_WINE_RUN" reg add 'HKCU\Control Panel\International' /v sTimeFormat /t REG_SZ /d 'HH°mm°ss' /f >/dev/null 2>&1 ||
    fail "cannot set the time format in the test's own prefix"
  log=$VX_TMP/journal.log
  mkdir -p "$VX_TMP/t/src"
  printf 'x' >"$VX_TMP/t/src/a.txt"
  vx_run "$(vx_path "$VX_TMP/t/src")" "$(vx_path "$VX_TMP/t/dst")" "${S}SILENT" "${S}LOG:$(vx_path "$log");2"
  "$wineserver" -k 2>/dev/null
  assert_rc 0 "run with a time format beyond ASCII"
  log=$(ls "$VX_TMP"/[Jj][Oo][Uu][Rr][Nn][Aa][Ll].[Ll][Oo][Gg])
  degree=$(printf '\260')  # "°" in code page 1252
  stamped=$(grep -ac "^  [0-9/]* [0-9][0-9]${degree}[0-9][0-9]${degree}[0-9][0-9] : " "$log")
  assert_eq 1 "$stamped" "the stamped line carries the format"
  started=$(grep -ac "^\[[0-9/]* [0-9][0-9]${degree}[0-9][0-9]${degree}[0-9][0-9] : $(vx_library 'Début de copie')" "$log")
  ended=$(grep -ac "^\[[0-9/]* [0-9][0-9]${degree}[0-9][0-9]${degree}[0-9][0-9] : Fin de copie" "$log")
  assert_eq "1 1" "$started $ended" "the session lines carry the time as formatted"
  pass "session lines keep a localised time text as the stamped lines do"
fi
