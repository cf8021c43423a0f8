#!/usr/bin/env bash
# One step of the build that says one line: what it does. The command's own output
# (CMake's, the compiler's) goes to a log; when the step fails, the log's errors and its
# last lines come to standard error and the log is named.
#   step.sh WHAT LOG COMMAND...
set -uo pipefail
what=$1 log=$2
shift 2
mkdir -p "$(dirname "$log")"
printf 'build: %s\n' "$what"
"$@" >"$log" 2>&1 && exit 0
code=$?
{
  # With two jobs the first error need not be near the end.
  grep -E -A4 ': (fatal )?error|CMake Error' "$log" | head -n 60
  echo "--- the log's last lines:"
  tail -n 15 "$log"
  echo "build: $what failed (exit code $code), see $log"
} >&2
exit $code
