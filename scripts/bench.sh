#!/usr/bin/env bash
# The test bench: runs a command with an X server (Xvfb on a free display when DISPLAY is
# unset) and a persistent wineserver for the project's own Wine prefix, then stops
# exactly the processes it started, by their ids.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wine}
export WINEDEBUG=-all
# winedbg stays out: a crashed program fails at once instead of waiting in the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# Wine maps file names through the locale: a UTF-8 one whatever the caller's, so that
# every name reaches the program.
export LC_ALL=C.UTF-8
export WINEARCH=win32

started=()
server=""
stop_started() {
  # The server we started ends its prefix's processes (the ones our programs made) and
  # itself; what is still alive after that is stopped by its id.
  if [ -n "$server" ] && kill -0 "$server" 2>/dev/null; then wineserver -k 2>/dev/null; fi
  for pid in "${started[@]}"; do
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
}
trap stop_started EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  # Another bench may take the same display at the same moment: try the next one then.
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$xvfb" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      started+=($xvfb)
      export DISPLAY=":$n"
      # Tells the commands run here that nobody sits at this display.
      export BENCH_XVFB=$DISPLAY
      echo "bench: Xvfb on $DISPLAY (pid $xvfb)"
      break
    fi
  done
  [ -n "${DISPLAY:-}" ] || { echo "bench: no X server could be started" >&2; exit 1; }
fi

mkdir -p "$WINEPREFIX"
# In the virtual machine, the prefix an earlier run made (scripts/vm.sh keeps it).
snap=${VANTOREL_WINE_SNAPSHOT:-}
if [ -n "$snap" ] && [ -f "$snap" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "bench: restoring the Wine prefix from $snap"
  tar -xf "$snap" -C "$WINEPREFIX" ||
    { echo "bench: it is damaged: the prefix is made anew"; find "$WINEPREFIX" -mindepth 1 -delete; rm -f "$snap"; }
fi
wineserver -f -p </dev/null >/dev/null 2>&1 &
server=$!
sleep 0.5
if kill -0 "$server" 2>/dev/null; then
  started+=($server)
  echo "bench: wineserver for $WINEPREFIX (pid $server)"
else
  server=""
fi
# Boot the prefix (created on first use) so that Wine's own services start here, away
# from the output pipes of the tests: a service holding a test's pipe keeps it open.
[ -f "$WINEPREFIX/system.reg" ] || echo "bench: creating the Wine prefix"
wineboot -u </dev/null >/dev/null 2>&1
# Wine draws the caption buttons of its own window frames with Marlett, but loads fonts
# only from the prefix's Fonts folder, where nothing puts Debian's copy (fonts-wine).
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi
# No window manager runs here: Wine must not wait for one (2 s at every show and hide).
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
fi
# The end-to-end tests hear the program's beeps in Wine's relay trace (WINEDEBUG=+relay
# for that program only): the trace is kept to the Beep calls.
if ! grep -q '"RelayInclude"="kernel32.Beep"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d kernel32.Beep /f </dev/null >/dev/null 2>&1
fi

"$@"
