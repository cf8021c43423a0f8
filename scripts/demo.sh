#!/usr/bin/env bash
# The program's main job: Vantorel.exe started under Wine in a demo folder.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
demo=$here/../build/demo
rm -rf "$demo" && mkdir -p "$demo" && cd "$demo" || exit 1
echo "demo: running $exe in $demo"
"$here/wine-run.sh" "$exe"
code=$?
echo "demo: Vantorel.exe exited with code $code"
exit $code
