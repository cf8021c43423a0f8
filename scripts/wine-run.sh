#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, quietly.
# Used by CTest for every test of the Windows build; the exit code is the program's.
# Wine writes the debug output of the programs a test starts (the end-to-end tests turn
# on its relay trace for them) to the test's own Unix standard error. That is kept in a
# file the test can read, named in VANTOREL_TEST_STDERR; afterwards the rest of it, the
# relay trace's lines left out, is passed on.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wine}
export WINEDEBUG=-all
# No first-run installers of .NET or HTML engines, and no debugger: a crashed program
# fails at once instead of waiting in winedbg.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# Wine maps file names through the locale: a UTF-8 one whatever the caller's, so that
# every name reaches the program.
export LC_ALL=C.UTF-8
export WINEARCH=win32
kept=$(mktemp "${TMPDIR:-/tmp}/wine-stderr.XXXXXX") || exec wine "$@"
trap 'rm -f "$kept"' EXIT
export VANTOREL_TEST_STDERR=$kept
wine "$@" 2>"$kept"
code=$?
grep -v -E '^[0-9a-f]{4}:(Call |Ret  |trace:relay:|Starting thread proc)' "$kept" >&2
exit $code
