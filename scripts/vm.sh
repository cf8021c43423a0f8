#!/usr/bin/env bash
# Runs a command inside a virtual machine, for machines whose CPU runs no 32-bit code:
#   vm.sh COMMAND...
# The guest is Debian's current kernel (linux-image-amd64's dependency) under
# qemu-system-x86_64 with a busybox initramfs (scripts/vm-init.sh), both made under
# build/vm and kept while their inputs stay the same. Its root is this machine's own,
# read-only, so whatever set-up installed is there too; the checkout is shared
# read-write at the same path, the command runs in the same folder with the same
# environment (no display: nothing of the caller's X server reaches the guest), and its
# output, exit code and files come back. The VM's console goes to build/vm/console.log.
# VANTOREL_VM_TIMEOUT (seconds, default 2700) bounds a run; the VM is stopped after it.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
vm=$root/build/vm
limit=${VANTOREL_VM_TIMEOUT:-2700}
log=$vm/console.log
say() { printf 'vm: %s\n' "$*" >&2; }
[ $# -gt 0 ] || { say "usage: vm.sh COMMAND..."; exit 2; }
mkdir -p "$vm"

missing=()
command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q 'install ok installed' \
  || missing+=(busybox-static)
if [ ${#missing[@]} -gt 0 ]; then
  bash "$here/setup.sh" "${missing[@]}" >&2 || exit 1
fi

# The kernel, its 9p and virtio modules and busybox, made into build/vm/vmlinuz and
# build/vm/initrd.img; the key names every input, so a new kernel or init is noticed.
make_image() {
  local kpkg kver key tmp mods ramfs
  kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
  [ -n "$kpkg" ] || { say "no kernel: linux-image-amd64 has no dependency in the package lists (apt-get update)"; return 1; }
  kver=$(apt-cache show --no-all-versions "$kpkg" 2>/dev/null | awk '/^Version:/ { print $2; exit }')
  key="$kpkg $kver busybox-static $(dpkg-query -W -f='${Version}' busybox-static)"
  key="$key init $(sha256sum "$here/vm-init.sh" | cut -c1-16)"
  [ -f "$vm/initrd.img" ] && [ "$(cat "$vm/image.key" 2>/dev/null)" = "$key" ] && return 0

  say "making the virtual machine's kernel and initramfs from $kpkg $kver"
  tmp=$vm/image.tmp
  rm -rf "$tmp" && mkdir -p "$tmp"
  (cd "$tmp" && apt-get download "$kpkg") >"$vm/image.log" 2>&1 \
    || { say "the kernel package $kpkg could not be downloaded, see $vm/image.log"; return 1; }
  dpkg-deb -x "$tmp"/*.deb "$tmp/x" >>"$vm/image.log" 2>&1 \
    || { say "the kernel package $kpkg could not be unpacked, see $vm/image.log"; return 1; }
  mods=$(ls -d "$tmp"/x/lib/modules/*/kernel)
  ramfs=$tmp/ramfs
  mkdir -p "$ramfs"/{bin,modules,proc,sys,dev,newroot}
  cp /bin/busybox "$ramfs/bin/busybox"
  cp "$here/vm-init.sh" "$ramfs/init" && chmod 755 "$ramfs/init"
  # Each module after the modules it depends on; one the kernel has built in has no file.
  declare -A seen=()
  add_module() {
    local m=$1 f d
    [ -n "${seen[$m]:-}" ] && return 0
    seen[$m]=1
    f=$(find "$mods" \( -name "$m.ko" -o -name "${m//_/-}.ko" \) | head -n 1)
    [ -n "$f" ] || return 0
    for d in $(tr '\0' '\n' <"$f" | sed -n 's/^depends=//p' | tr ',' ' '); do add_module "$d"; done
    cp "$f" "$ramfs/modules/$m.ko"
    echo "$m" >>"$ramfs/modules.order"
  }
  for m in virtio_pci 9pnet_virtio 9p; do add_module "$m"; done
  [ -f "$ramfs/modules/9p.ko" ] || { say "no 9p module in $kpkg"; return 1; }
  cp "$tmp"/x/boot/vmlinuz-* "$vm/vmlinuz"
  (cd "$ramfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$vm/initrd.img"
  rm -rf "$tmp"
  echo "$key" >"$vm/image.key"
}
exec {lock}>"$vm/image.lock"
flock "$lock"
make_image || exit 1
flock -u "$lock"

# One folder per run: the command, its output as it comes, its exit code.
io=$(mktemp -d "$vm/run.XXXXXX")
: >"$io/stdout"
: >"$io/stderr"
printf '%s' "$root" >"$io/checkout"
{
  echo '# written by vm.sh: the caller environment, folder and command'
  for name in $(compgen -e); do
    case $name in
      DISPLAY|XAUTHORITY|WAYLAND_DISPLAY|DBUS_SESSION_BUS_ADDRESS|XDG_RUNTIME_DIR|SSH_*|\
      TMPDIR|TMP|TEMP|HOME|PWD|OLDPWD|SHLVL|_|MAKEFLAGS|MFLAGS|MAKELEVEL|BASH_ENV|ENV) continue ;;
    esac
    printf 'export %s=%q\n' "$name" "${!name}"
  done
  echo 'export HOME=/root VANTOREL_IN_VM=1'
  printf 'cd %q || exit 125\n' "$PWD"
  # The tests' waits for windows and programs, stretched: emulation is several times slower.
  echo 'export VANTOREL_TEST_WAIT_SCALE=${VANTOREL_TEST_WAIT_SCALE:-6}'
  # The Wine prefix lives on the guest's tmpfs: under 9p making it alone takes minutes.
  [ -n "${WINEPREFIX:-}" ] || echo 'export WINEPREFIX=/var/tmp/vantorel-wine'
  printf '%q ' "$@"
  echo
} >"$io/run.sh"
[ -z "${DISPLAY:-}" ] || say "no display reaches the virtual machine: its programs use Xvfb there"

qemu=""
followers=()
stop() {
  [ -n "$qemu" ] && kill "$qemu" 2>/dev/null && wait "$qemu" 2>/dev/null
  for pid in "${followers[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$io"
}
trap stop EXIT
trap 'exit 130' INT TERM

# qemu splits its options at commas: a comma in a path is written twice.
shares=()
share() {
  shares+=(-fsdev "local,id=$1,path=${2//,/,,},security_model=none,multidevs=remap${3:-}"
           -device "virtio-9p-pci,fsdev=$1,mount_tag=$1")
}
share root / ,readonly=on
share work "$root"
share io "$io"
: >"$log"
# TCG: no hardware virtualisation here. SMAP and SMEP off: with them, TCG faults 64-bit
# Wine processes at their return to user mode.
timeout -k 10 "$limit" qemu-system-x86_64 -nodefaults -no-user-config -no-reboot \
  -accel tcg,thread=multi -cpu max,-smap,-smep -smp 2 -m "${VANTOREL_VM_MEMORY:-8G}" \
  -display none -monitor none \
  -chardev "file,id=console,path=${log//,/,,},append=on" -serial chardev:console \
  -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
  -append "console=ttyS0 panic=-1 mitigations=off quiet" "${shares[@]}" \
  </dev/null >>"$log" 2>&1 &
qemu=$!
tail -f -c +1 --pid="$qemu" "$io/stdout" &
followers+=($!)
tail -f -c +1 --pid="$qemu" "$io/stderr" >&2 &
followers+=($!)
wait "$qemu"
code=$?
qemu=""
wait "${followers[@]}" 2>/dev/null
followers=()

if [ -f "$io/status" ]; then
  exit "$(cat "$io/status")"
fi
if [ $code = 124 ] || [ $code = 137 ]; then
  say "the virtual machine did not come back within ${limit}s (VANTOREL_VM_TIMEOUT) and was stopped; its log: $log"
elif panic=$(grep -m1 'Kernel panic' "$log"); then
  say "the guest kernel panicked: ${panic#*] }; its log: $log"
elif failed=$(grep 'vm-init:' "$log" | tail -n 1) && [ -n "$failed" ]; then
  say "the virtual machine could not start the command (${failed#*vm-init: }); its log: $log"
else
  say "the virtual machine stopped without an exit code (qemu exit code $code); its log: $log"
fi
exit 1
