#!/usr/bin/env bash
# make demo: Vantorel.exe doing its main job in build/demo. Sample photographs go into
# images\, a copy of the program runs there under Wine. On a display of your own you
# answer its two dialogs; on the bench's Xvfb the demo's pilot (the end-to-end tests'
# automation) answers 640 and 480. Ends with the results and their pixel sizes, and
# screenshots of both dialogs and the final message as PNG files.
#   scripts/demo.sh PATH/TO/Vantorel.exe     (run inside scripts/bench.sh)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
pilot=$root/build/win/tests/demo_pilot.exe
demo=$root/build/demo
say() { printf 'demo: %s\n' "$*"; }

[ -f "$exe" ] && [ -f "$pilot" ] || { say "build first: $exe or $pilot is missing" >&2; exit 1; }
# ImageMagick takes the screenshots and tells the pictures' sizes (make demo installs it).
command -v import >/dev/null && command -v identify >/dev/null \
  || { say "imagemagick is missing: make demo installs it" >&2; exit 1; }
size_of() { identify -ping -format '%wx%h' "$1" 2>/dev/null; }

rm -rf "$demo" && mkdir -p "$demo/images" && cd "$demo" || exit 1
# The photographs: the large JPEG wallpapers of Debian's ukui-wallpapers, which make demo
# installs when missing; generated pictures only when the package cannot be had.
photos=()
if dpkg-query -W -f='${Status}' ukui-wallpapers 2>/dev/null | grep -q 'install ok installed'; then
  mapfile -t photos < <(bash "$here/bench-photos.sh" 2>/dev/null)
fi
if [ ${#photos[@]} -gt 0 ]; then
  cp "${photos[@]}" images/
  say "${#photos[@]} photographs of Debian's ukui-wallpapers in $demo/images:"
else
  say "ukui-wallpapers could not be had: generating pictures instead"
  "$here/wine-run.sh" "$pilot" pictures images 4 >/dev/null || { say "could not make pictures" >&2; exit 1; }
  say "generated pictures in $demo/images:"
fi
for f in images/*.jpg; do printf '  %-22s %s\n' "${f#images/}" "$(size_of "$f")"; done
# Beside its pictures, as its usage note tells: then the note it writes on the first
# run is also the one it opens.
cp "$exe" Vantorel.exe

if [ -n "${BENCH_XVFB:-}" ]; then
  say "no display of your own: Vantorel.exe runs on Xvfb ($DISPLAY), and the demo answers"
  say "the dialogs itself through the tests' automation: width 640, height 480"
  answers=(640 480)
else
  say "Vantorel.exe opens on $DISPLAY: enter the width, then the height"
  answers=()
fi

# The pilot talks through two pipes: its report and screenshot requests come out, and
# a line goes back once a screenshot is taken.
pipes=$(mktemp -d)
trap 'rm -rf "$pipes"' EXIT
mkfifo "$pipes/to" "$pipes/from"
"$here/wine-run.sh" "$pilot" run Vantorel.exe "${answers[@]}" <"$pipes/to" >"$pipes/from" 2>&1 &
pilot_pid=$!
exec {to_pilot}>"$pipes/to" {from_pilot}<"$pipes/from"
shots=()
while IFS= read -r -t 900 line <&"$from_pilot"; do
  line=${line%$'\r'}
  case $line in
    "shot "*)
      read -r _ name x y w h <<<"$line"
      png=$demo/$name.png
      if import -window root -crop "${w}x${h}+${x}+${y}" +repage "$png"; then shots+=("$png"); fi
      echo ok >&"$to_pilot" ;;
    *) say "$line" ;;
  esac
done
exec {to_pilot}>&- {from_pilot}<&-
wait "$pilot_pid"
code=$?

if [ -f readme.txt ]; then say "usage note written: $demo/readme.txt ($(stat -c %s readme.txt) bytes)"; fi
if compgen -G "result/*.jpg" >/dev/null; then
  say "results in $demo/result:"
  for f in result/*.jpg; do printf '  %-22s %s\n' "${f#result/}" "$(size_of "$f")"; done
else
  say "no results in $demo/result"
fi
say "screenshots:"
for png in "${shots[@]}"; do printf '  %s\n' "$png"; done
[ $code = 0 ] || say "the pilot reports a failed run (exit code $code)"
exit $code
