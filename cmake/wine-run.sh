#!/usr/bin/env bash
# Runs a Windows test binary under Wine as a French Windows system.
export LC_ALL=fr_FR.UTF-8 WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-veltrix}
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
exec "$wine" "$@"
