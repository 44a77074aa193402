#!/usr/bin/env bash
# arm64-root.sh make | check | exec <command> [args...]
# The ARM64 Debian root in which the ARM64 builds' programs run, under Debian's own ARM64 Wine,
# through qemu-user and binfmt_misc (build/arm64-root, or VTL_ARM64_ROOT).
#   make   makes the root once (debootstrap, then wine64 inside it); a finished root is reused.
#          Exit 77, with the reason, where ARM64 programs cannot run here at all.
#   check  exit 0 if ARM64 programs can run here; otherwise prints the reason and exits 1.
#   exec   runs the command inside the root, in the caller's working directory. It runs in a
#          mount namespace of its own, where the project, /tmp (Wine's server sockets), /dev
#          and /proc are bound into the root; the binds end with the command, so nothing stays
#          mounted inside the build tree that a later "rm -rf build" could reach through.
# VTL_NO_ARM64=1 forces the answer "cannot", so that the skipping side can be tested anywhere.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd -P)
root=${VTL_ARM64_ROOT:-$here/build/arm64-root}

binfmt_ready() {
  local reason=
  if [[ ! -e /proc/sys/fs/binfmt_misc/status ]] &&
     ! mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    reason="binfmt_misc cannot be mounted here"
  elif [[ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]] &&
       ! update-binfmts --enable qemu-aarch64 >/dev/null 2>&1; then
    reason="qemu-aarch64 is not registered with binfmt_misc (install qemu-user-static)"
  fi
  [[ -z $reason ]] || { echo "$reason"; return 1; }
}

check() {
  [[ ${VTL_NO_ARM64:-} == 1 ]] && { echo "ARM64 runs are switched off (VTL_NO_ARM64=1)"; return 1; }
  binfmt_ready || return 1
  [[ -e $root/.vtl-ready ]] || { echo "the ARM64 root is not made (scripts/arm64-root.sh make)"; return 1; }
  unshare --mount true 2>/dev/null || { echo "no mount namespace can be made here (unshare)"; return 1; }
}

case "${1:-}" in
  make)
    [[ ${VTL_NO_ARM64:-} == 1 ]] && { echo "arm64-root: ARM64 runs are switched off (VTL_NO_ARM64=1)"; exit 77; }
    [[ -e $root/.vtl-ready ]] && { echo "arm64-root: ready at $root"; exit 0; }
    reason=$(binfmt_ready) || { echo "arm64-root: not made: $reason"; exit 77; }
    started=$SECONDS
    if [[ ! -e $root/.vtl-bootstrapped ]]; then
      rm -rf "$root"
      debootstrap --arch=arm64 --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
      touch "$root/.vtl-bootstrapped"
    fi
    chroot "$root" /bin/sh -c 'apt-get -q update >/dev/null &&
      DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends wine64 >/dev/null &&
      apt-get clean'
    touch "$root/.vtl-ready"
    echo "arm64-root: made at $root ($((SECONDS - started)) s)"
    ;;
  check)
    check
    ;;
  exec)
    shift
    mkdir -p "$root$here"
    exec unshare --mount --propagation private -- /bin/sh -c '
      root=$1 here=$2 cwd=$3; shift 3
      mount --bind "$here" "$root$here" && mount --bind /tmp "$root/tmp" &&
        mount --rbind /dev "$root/dev" && mount -t proc proc "$root/proc" || exit 1
      exec chroot "$root" /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$cwd" "$@"' \
      sh "$root" "$here" "$(pwd -P)" "$@"
    ;;
  *)
    echo "usage: arm64-root.sh make | check | exec <command> [args...]" >&2
    exit 2
    ;;
esac
