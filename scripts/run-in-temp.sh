#!/usr/bin/env bash
# Runs a command in a fresh empty folder, removes the folder, passes on the exit code.
dir=$(mktemp -d)
cd "$dir" || exit 1
"$@"
code=$?
cd / && rm -rf "$dir"
exit $code
