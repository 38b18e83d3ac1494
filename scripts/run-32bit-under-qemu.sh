#!/usr/bin/env bash
# On a kernel that cannot run 32-bit programs (ld-linux.so.2: "Exec format
# error"), lets Wine start through qemu's user-mode emulator instead, so
# that `bash scripts/test-all.sh windows` runs the Windows tests. Slow: a
# new Wine prefix takes about 20 minutes to create and each test program
# several minutes to start. Needs root; lasts until the machine restarts.
set -euo pipefail
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "32-bit programs already run here"
  exit 0
fi
apt-get install -y -q qemu-user-static >/dev/null
binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
# 32-bit little-endian x86 ELF files; the mask lets executables and shared
# objects (the loader itself is run) both through.
[ -e "$binfmt/qemu-i386" ] ||
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >"$binfmt/register"
/lib/ld-linux.so.2 --version >/dev/null && echo "32-bit programs now run through qemu-i386"
