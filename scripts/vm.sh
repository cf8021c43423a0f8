#!/usr/bin/env bash
# Runs a command inside a virtual machine, for machines whose CPU runs no 32-bit code:
#   vm.sh COMMAND...
# The guest is Debian's kernel (linux-image-amd64's dependency, fetched once into
# build/vm/kernel and kept while its files are whole) under qemu-system-x86_64 with a
# busybox initramfs (scripts/vm-init.sh), made again when busybox or the init change. Its
# root is this machine's own, read-only, so whatever set-up installed is there too; the
# checkout is shared read-write at the same path, writes reaching this machine within
# seconds. The command runs in the same folder with the caller's environment except: user
# root, HOME=/root, stdin empty, no display (its programs use Xvfb there), an empty /tmp
# and the guest's own Wine prefix. Its output, exit code and files come back; the exit
# code only once every write is here. Each run's console goes to
# build/vm/console-<run>.log, which vm.sh names.
# VANTOREL_VM_TIMEOUT (seconds, default 2700) bounds the command: the guest stops it
# then, keeping its writes, and exits 124.
# VANTOREL_VM_MEMORY (default 8G) is the guest's memory.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
vm=$root/build/vm
limit=${VANTOREL_VM_TIMEOUT:-2700}
say() { printf 'vm: %s\n' "$*" >&2; }
[ $# -gt 0 ] || { say "usage: vm.sh COMMAND..."; exit 2; }
mkdir -p "$vm" || exit 1

if ! command -v qemu-system-x86_64 >/dev/null || ! [ -x /bin/busybox ]; then
  say "qemu-system-x86 or busybox-static is missing: make setup installs them here"
  exit 1
fi

# The kernel and the modules the init loads, with their sums written last: kept while
# they match, fetched only when there is none, so no network is needed after that.
kernel=$vm/kernel
kernel_whole() { (cd "$kernel" 2>/dev/null && sha256sum --quiet -c SHA256SUMS) >/dev/null 2>&1; }
fetch_kernel() {
  local kpkg kver tmp=$vm/kernel.tmp mods m
  kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
  [ -n "$kpkg" ] || { echo "linux-image-amd64 has no dependency in the package lists"; return 1; }
  kver=$(apt-cache show --no-all-versions "$kpkg" 2>/dev/null | awk '/^Version:/ { print $2; exit }')
  rm -rf "$tmp" && mkdir -p "$tmp/k/modules" || return 1
  (cd "$tmp" && apt-get download "$kpkg") || return 1
  dpkg-deb -x "$tmp"/*.deb "$tmp/x" || return 1
  mods=$(ls -d "$tmp"/x/lib/modules/*/kernel) || return 1
  # Each module after the modules it depends on; one the kernel has built in has no file.
  declare -A seen=()
  add_module() {
    local m=$1 f d
    [ -n "${seen[$m]:-}" ] && return 0
    seen[$m]=1
    f=$(find "$mods" \( -name "$m.ko" -o -name "${m//_/-}.ko" \) | head -n 1)
    [ -n "$f" ] || return 0
    for d in $(tr '\0' '\n' <"$f" | sed -n 's/^depends=//p' | tr ',' ' '); do add_module "$d" || return 1; done
    cp "$f" "$tmp/k/modules/$m.ko" && echo "$m" >>"$tmp/k/modules.order"
  }
  for m in virtio_pci 9pnet_virtio 9p; do add_module "$m" || return 1; done
  [ -f "$tmp/k/modules/9p.ko" ] || { echo "no 9p module in $kpkg"; return 1; }
  cp "$tmp"/x/boot/vmlinuz-* "$tmp/k/vmlinuz" && echo "$kpkg $kver" >"$tmp/k/name" &&
    (cd "$tmp/k" && sha256sum vmlinuz name modules.order modules/*.ko >SHA256SUMS.new &&
       mv SHA256SUMS.new SHA256SUMS) || return 1
  rm -rf "$kernel" && mv "$tmp/k" "$kernel" && rm -rf "$tmp"
}
# The initramfs, built aside and moved into place; its key, written last, names every
# input and the file's own sum.
make_initrd() {
  local key tmp=$vm/initrd.tmp
  key="$(cat "$kernel/name") busybox-static $(dpkg-query -W -f='${Version}' busybox-static)"
  key="$key init $(sha256sum <"$here/vm-init.sh" | cut -c1-16)"
  [ "$(cat "$vm/image.key" 2>/dev/null)" = "$(printf '%s\n' "$key" "$(sha256sum 2>/dev/null <"$vm/initrd.img")")" ] \
    && return 0
  say "making the virtual machine's initramfs for $(cat "$kernel/name")"
  rm -rf "$tmp" && mkdir -p "$tmp"/{bin,proc,sys,dev,newroot} &&
    cp /bin/busybox "$tmp/bin/busybox" && cp "$here/vm-init.sh" "$tmp/init" && chmod 755 "$tmp/init" &&
    cp -r "$kernel/modules" "$kernel/modules.order" "$tmp/" || return 1
  (set -o pipefail; cd "$tmp" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) \
    >"$vm/initrd.img.new" || return 1
  rm -f "$vm/image.key" && mv "$vm/initrd.img.new" "$vm/initrd.img" && rm -rf "$tmp" &&
    printf '%s\n' "$key" "$(sha256sum <"$vm/initrd.img")" >"$vm/image.key.new" &&
    mv "$vm/image.key.new" "$vm/image.key"
}
exec {lock}>"$vm/image.lock"
flock "$lock"
if ! kernel_whole; then
  say "fetching the virtual machine's kernel (log: $vm/image.log)"
  if ! fetch_kernel >"$vm/image.log" 2>&1; then
    say "refreshing the package lists first (apt-get update)"
    sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
    { $sudo apt-get update && fetch_kernel; } >>"$vm/image.log" 2>&1 \
      || { say "the kernel could not be had; see $vm/image.log"; exit 1; }
  fi
fi
make_initrd || { say "the initramfs could not be made in $vm (disk full?)"; exit 1; }
flock -u "$lock"

# One folder per run: the command, its output as it comes, its exit code; one console log.
io=$(mktemp -d "$vm/run.XXXXXX") && [ -d "$io" ] || { say "no run folder could be made in $vm"; exit 1; }
log=$vm/console-${io##*/run.}.log
qemu=""
timer=""
followers=()
stop() {
  [ -n "$qemu" ] && kill "$qemu" 2>/dev/null && wait "$qemu" 2>/dev/null
  [ -n "$timer" ] && kill "$timer" 2>/dev/null
  for pid in "${followers[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$io"
}
trap stop EXIT
trap 'exit 130' INT TERM
echo $$ >"$io/owner"
# Run folders whose vm.sh was killed go, and the consoles of all but the newest 20 runs.
for old in "$vm"/run.*/owner; do
  [ -f "$old" ] && ! kill -0 "$(cat "$old")" 2>/dev/null && rm -rf -- "${old%/owner}"
done
ls -1t "$vm"/console-*.log 2>/dev/null | tail -n +21 | while IFS= read -r old; do rm -f -- "$old"; done

: >"$io/stdout" && : >"$io/stderr" && echo "$limit" >"$io/limit" && printf '%s' "$root" >"$io/logical" &&
  (cd "$root" && pwd -P | tr -d '\n') >"$io/checkout" &&
{
  echo '# written by vm.sh: the caller environment, folder and command'
  for name in $(compgen -e); do
    case $name in
      DISPLAY|XAUTHORITY|WAYLAND_DISPLAY|DBUS_SESSION_BUS_ADDRESS|XDG_RUNTIME_DIR|SSH_*|\
      TMPDIR|TMP|TEMP|HOME|PWD|OLDPWD|SHLVL|_|MAKEFLAGS|MFLAGS|MAKELEVEL|BASH_ENV|ENV|\
      WINEPREFIX) continue ;;
    esac
    printf 'export %s=%q\n' "$name" "${!name}"
  done
  # The Wine prefix lives on the guest's memory: under 9p making it alone takes minutes.
  echo 'export HOME=/root VANTOREL_IN_VM=1 WINEPREFIX=/var/tmp/vantorel-wine'
  printf 'cd %q || exit 125\n' "$PWD"
  # The tests' waits for windows and programs, stretched: emulation is several times slower.
  echo 'export VANTOREL_TEST_WAIT_SCALE=${VANTOREL_TEST_WAIT_SCALE:-6}'
  # The finished Wine prefix, kept after the first run that makes it, which bench.sh
  # restores; made again when Wine or bench.sh, which makes it, changes.
  printf 'export VANTOREL_WINE_SNAPSHOT=%q\n' \
    "$vm/wine-$({ wine --version; cat "$here/bench.sh"; } 2>&1 | sha256sum | cut -c1-16).tar"
  printf '%q ' "$@"
  echo
  echo 'code=$?'
  echo 'snap=$VANTOREL_WINE_SNAPSHOT'
  echo 'if [ ! -f "$snap" ] && [ -f "$WINEPREFIX/.update-timestamp" ] && [ -f "$WINEPREFIX/system.reg" ]; then'
  echo '  rm -f "${snap%/*}"/wine-*.tar*; tmp=$(mktemp "$snap.XXXXXX") && tar -cf "$tmp" -C "$WINEPREFIX" . && mv "$tmp" "$snap"'
  echo 'fi'
  echo 'exit $code'
} >"$io/run.sh" || { say "the run folder $io could not be written"; exit 1; }
[ -z "${DISPLAY:-}" ] || say "no display reaches the virtual machine: its programs use Xvfb there"
say "booting; its console: $log"

# qemu splits its options at commas: a comma in a path is written twice.
shares=()
share() {
  shares+=(-fsdev "local,id=$1,path=${2//,/,,},security_model=none,multidevs=remap${3:-}"
           -device "virtio-9p-pci,fsdev=$1,mount_tag=$1")
}
share root / ,readonly=on
share work "$(cat "$io/checkout")"
share io "$io"
# qemu and the timer die with this script, however it ends (SIGKILL too); qemu stays in
# the caller's process group, so whoever ends the group ends it.
# TCG: no hardware virtualisation here. SMAP and SMEP off: with them, TCG faults 64-bit
# Wine processes at their return to user mode.
setpriv --pdeathsig KILL qemu-system-x86_64 -nodefaults -no-user-config -no-reboot \
  -accel tcg,thread=multi -cpu max,-smap,-smep -smp 2 -m "${VANTOREL_VM_MEMORY:-8G}" \
  -display none -monitor none \
  -chardev "file,id=console,path=${log//,/,,}" -serial chardev:console \
  -kernel "$kernel/vmlinuz" -initrd "$vm/initrd.img" \
  -append "console=ttyS0 panic=-1 mitigations=off quiet" "${shares[@]}" \
  </dev/null >>"$log" 2>&1 &
qemu=$!
# The guest stops the command at the limit itself; this one is for a guest that hangs.
setpriv --pdeathsig KILL sleep $((limit + 60)) &
timer=$!
tail -f -c +1 --pid="$qemu" "$io/stdout" &
followers+=($!)
tail -f -c +1 --pid="$qemu" "$io/stderr" >&2 &
followers+=($!)
timed_out=""
wait -n -p ended "$qemu" "$timer" 2>/dev/null
code=$?
if [ "$ended" != "$qemu" ]; then
  timed_out=1
  kill "$qemu"; sleep 2; kill -9 "$qemu" 2>/dev/null
  wait "$qemu" 2>/dev/null
  code=$?
fi
qemu=""
wait "${followers[@]}" 2>/dev/null
followers=()

if [ -f "$io/status" ]; then
  [ -f "$io/timed-out" ] || exit "$(cat "$io/status")"
  say "the command did not end within ${limit}s (VANTOREL_VM_TIMEOUT) and was stopped; what it wrote is kept"
  exit 124
fi
if [ -n "$timed_out" ]; then
  say "the virtual machine did not come back within $((limit + 60))s (VANTOREL_VM_TIMEOUT and a minute) and was stopped; its console: $log"
elif [ "$code" -gt 128 ]; then
  signal=$(kill -l "$code")
  say "qemu was ended by SIG$signal$([ "$signal" = KILL ] && echo ' (the out-of-memory killer? see dmesg)'); its console: $log"
elif panic=$(grep -m1 'Kernel panic' "$log"); then
  say "the guest kernel panicked: ${panic#*] }; its console: $log"
elif failed=$(grep 'vm-init:' "$log" | tail -n 1) && [ -n "$failed" ]; then
  say "the virtual machine could not run the command to its end (${failed#*vm-init: }); its console: $log"
else
  say "the virtual machine stopped without an exit code (qemu exit code $code); its console: $log"
fi
exit 1
