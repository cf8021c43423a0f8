#!/bin/bash
# A tiny full-able disk for the fault tests: "mount DIR" puts a 64 KB tmpfs on DIR and
# marks it with DIR/mounted; "unmount DIR" takes it away. Without root (or without the
# right to mount) nothing is mounted and the test that needs it skips itself.
set -u
action=$1
dir=$2
case $action in
  mount)
    mountpoint -q "$dir" && { umount "$dir" 2>/dev/null || umount -l "$dir"; }
    rm -rf "$dir"
    mkdir -p "$dir"
    if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=64k,mode=0777 vantorel-faults "$dir" 2>/dev/null; then
      : > "$dir/mounted"
      echo "a 64 KB tmpfs on $dir"
    else
      echo "no tmpfs on $dir: mounting needs root"
    fi
    ;;
  unmount)
    mountpoint -q "$dir" && { umount "$dir" 2>/dev/null || umount -l "$dir"; }
    rm -rf "$dir"
    ;;
esac
exit 0
