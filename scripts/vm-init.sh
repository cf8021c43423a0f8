#!/bin/busybox sh
# /init of the virtual machine that runs 32-bit code for machines whose CPU runs none
# (scripts/vm.sh). Busybox only. The machine's own root comes over 9p read-only, the
# checkout read-write at its own path, and the run folder (io) without a cache, so the
# command's output reaches the caller as it is written. Runs io/run.sh in that root for
# at most io/limit seconds, writes its exit code to io/status once the checkout's writes
# are on the host, and powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
say() { echo "vm-init: $*" > /dev/console; }
fail() { say "$*"; poweroff -f; }

for m in $(cat /modules.order); do insmod "/modules/$m.ko" || fail "insmod $m failed"; done
ip link set lo up

p9='trans=virtio,version=9p2000.L,msize=524288'
mkdir -p /io /newroot
mount -t 9p -o "$p9" io /io || fail "no io share"
# The host's files do not change under a run: caching them keeps Wine's mapped code intact.
mount -t 9p -o "$p9,ro,cache=loose" root /newroot || fail "no root share"
for d in tmp run root var/tmp dev/shm; do
  mount -t tmpfs -o mode=1777 tmpfs "/newroot/$d" || fail "no tmpfs on /$d"
done
chmod 700 /newroot/root
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
# What udev would make: bash's process substitution reads /dev/fd.
ln -s /proc/self/fd /newroot/dev/fd
for n in 0:stdin 1:stdout 2:stderr; do ln -s "/proc/self/fd/${n%%:*}" "/newroot/dev/${n#*:}"; done
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs -o mode=1777 tmpfs /newroot/dev/shm
checkout=$(cat /io/checkout)
mkdir -p "/newroot$checkout" 2>/dev/null
# Cached, as Wine needs to map its programs from it (with cache=mmap they crash), and
# written back within two seconds instead of thirty; what is left is synced below.
echo 100 >/proc/sys/vm/dirty_expire_centisecs
echo 100 >/proc/sys/vm/dirty_writeback_centisecs
mount -t 9p -o "$p9,cache=loose" work "/newroot$checkout" || fail "no share for $checkout"
mkdir -p /newroot/run/vantorel-io
mount -o bind /io /newroot/run/vantorel-io || fail "no io folder in the root"
# The checkout reached through a symbolic link: the link, where the guest lacks it.
chroot /newroot /bin/bash -c '[ "$1" -ef "$2" ] || { mkdir -p -- "${1%/*}" && ln -sfn -- "$2" "$1"; }' \
  - "$(cat /io/logical)" "$checkout" || fail "the checkout's path $(cat /io/logical) cannot be made"

# The time limit is kept here, so that a stopped command's writes are synced as well.
setsid chroot /newroot /bin/bash /run/vantorel-io/run.sh </dev/null >>/io/stdout 2>>/io/stderr &
run=$!
(sleep "$(cat /io/limit)"; : >/io/timed-out; kill -TERM -$run; sleep 10; kill -KILL -$run) 2>/dev/null &
timer=$!
wait $run
code=$?
# A command that has ended is no time-out, however long its writes take to sync.
kill $timer 2>/dev/null
# The exit code goes last, once every write is on the host: one that failed there fails the run.
sync -f "/newroot$checkout" || { echo "vm: the command's last writes did not reach the host" >>/io/stderr; code=125; }
echo $code > /io/status.new && mv /io/status.new /io/status
poweroff -f
