#!/usr/bin/env bash
# x86-vm.sh <command>
# Runs <command> (a bash command line, in this project's folder) inside an emulated x86-64
# machine with Debian's own kernel, which executes 32-bit programs: the way to run the 32-bit
# product's suites, demo and benchmarks on a host whose kernel refuses them. The machine is
# software-emulated (qemu, no hardware virtualisation needed), so everything in it runs several
# times slower than on the host; ratios measured within one run stay comparable.
#
# The machine's root (Debian 12 with the project's packages and the 32-bit Wine) is made once
# under build/vm/root; each run copies this work tree, build trees included but without their
# Wine prefixes, onto a fresh disk at the same path, boots, runs the command and powers off.
# The command's output streams here; files it copies to "$VTL_VM_OUT" land in build/vm/out.
# Exits with the command's status.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
(($# == 1)) || { echo "usage: x86-vm.sh '<command>'" >&2; exit 2; }
vm=$root/build/vm

host_packages=(qemu-system-x86 debootstrap e2fsprogs)
missing=()
for package in "${host_packages[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "x86-vm: installing ${missing[*]}"
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# The machine's root: made once, kept until build/vm is removed.
if [[ ! -e $vm/root/.complete ]]; then
  echo "x86-vm: making the machine's root in $vm/root (a few minutes, once)"
  rm -rf "$vm/root"
  mkdir -p "$vm"
  debootstrap --variant=minbase --include=kmod,procps bookworm "$vm/root" http://deb.debian.org/debian \
    >"$vm/debootstrap.log" 2>&1 || { echo "x86-vm: debootstrap failed (see $vm/debootstrap.log)" >&2; exit 1; }
  mkdir -p "$vm/root/project-scripts"
  cp scripts/install-deps.sh scripts/x86-probe.sh "$vm/root/project-scripts/"
  for fs in proc sys dev; do mount --bind "/$fs" "$vm/root/$fs"; done
  trap 'for fs in proc sys dev; do umount "$vm/root/$fs" 2>/dev/null || true; done' EXIT
  chroot "$vm/root" bash -c '
      export DEBIAN_FRONTEND=noninteractive
      dpkg --add-architecture i386 && apt-get update -q &&
      apt-get install -y -q --no-install-recommends linux-image-amd64 initramfs-tools &&
      VTL_WITH_X86=1 /project-scripts/install-deps.sh' >"$vm/chroot.log" 2>&1 ||
    { echo "x86-vm: installing the packages failed (see $vm/chroot.log)" >&2; exit 1; }
  for fs in proc sys dev; do umount "$vm/root/$fs"; done
  trap - EXIT
  # PID 1 of the machine: what Wine needs mounted, the command, then power off.
  cat >"$vm/root/vm-init" <<'EOF'
#!/bin/bash
mount -t proc proc /proc; mount -t sysfs sys /sys 2>/dev/null; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm /out
mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp; mount -t tmpfs tmpfs /run
modprobe 9pnet_virtio && modprobe 9p && mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /out
export HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 VTL_VM_OUT=/out
cd "$(cat /out/folder)" && bash /out/command >/out/command.log 2>&1
echo $? >/out/status
sync
echo o >/proc/sysrq-trigger
sleep 60
EOF
  chmod +x "$vm/root/vm-init"
  touch "$vm/root/.complete"
fi

# A fresh disk: the machine's root with this work tree at the same path, so that the build
# trees' absolute paths hold. The copy is bound into the root only while the disk is made.
rm -rf "$vm/out" "$vm/disk.img" "$vm/tree"
mkdir -p "$vm/out" "$vm/tree" "$vm/root$root"
tar -C "$root" --exclude=./build/vm --exclude=./build/arm64-root --exclude='./build/*/*prefix' --exclude='./build/*/demo' -cf - . |
  tar -C "$vm/tree" -xf -
truncate -s 24G "$vm/disk.img"
mount --bind "$vm/tree" "$vm/root$root"
made=0
mkfs.ext4 -q -F -d "$vm/root" "$vm/disk.img" || made=1
umount "$vm/root$root"
rm -rf "$vm/tree"
((made == 0)) || { echo "x86-vm: making the disk failed" >&2; exit 1; }
echo "x86-vm: disk ready"
printf '%s\n' "$1" >"$vm/out/command"
echo "$root" >"$vm/out/folder"
: >"$vm/out/command.log"

kernel=$(ls "$vm/root/boot"/vmlinuz-* | tail -1)
initrd=$(ls "$vm/root/boot"/initrd.img-* | tail -1)
# smap=off: under software emulation a 32-bit program's return from an interrupt faults
# otherwise ("supervisor read access in user mode"), and every 32-bit Wine process is killed.
qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu max,smap=off,pku=off -smp "$(nproc)" -m 12G \
  -kernel "$kernel" -initrd "$initrd" -append "root=/dev/vda rw console=ttyS0 init=/vm-init quiet panic=1" \
  -drive "file=$vm/disk.img,if=virtio,format=raw,cache=unsafe" \
  -virtfs "local,path=$vm/out,mount_tag=out,security_model=none,id=out" \
  -nographic -no-reboot -serial "file:$vm/console.log" -monitor none </dev/null &
qemu=$!
trap 'kill $qemu 2>/dev/null || true' EXIT
tail -n +1 -f --pid=$qemu "$vm/out/command.log"
wait $qemu || true
rm -f "$vm/disk.img"   # 24 GB sparse; the next run makes a fresh one anyway
[[ -s $vm/out/status ]] || { echo "x86-vm: the machine stopped before the command ended (see $vm/console.log)" >&2; exit 1; }
exit "$(cat "$vm/out/status")"
