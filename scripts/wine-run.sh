#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, quietly.
# Used by CTest for every test of the Windows build; the exit code is the program's.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wine}
export WINEDEBUG=-all
# No first-run installers of .NET or HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
exec wine "$@"
