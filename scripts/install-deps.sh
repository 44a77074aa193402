#!/usr/bin/env bash
# Installs the Debian packages the project needs, and does nothing when they are all there.
# The ARM64 runtime and the ARM64 root, which take minutes, are made once by
# scripts/arm64-toolchain.sh and scripts/arm64-root.sh.
# The 32-bit Wine (wine32:i386, with the i386 architecture) is added only where the kernel
# executes 32-bit programs, or where VTL_WITH_X86=1 asks for it: scripts/x86-vm.sh prepares the
# root of a machine that runs them on a host whose kernel does not.
set -euo pipefail

packages=(
  cmake make
  g++-mingw-w64-i686 g++-mingw-w64-x86-64   # both thread models; the -posix compilers are used
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64   # windres, objdump
  mingw-w64-tools                            # widl
  python3                                    # type library build step
  wine wine64
  googletest
  xvfb xauth                                 # a virtual display for the picture of the real menu
  wixl msitools                              # installer packages from WiX source, and their tables
  osslsigncode openssl                       # signed releases and the test certificate
  clang-16 lld-16 llvm-16 ninja-build        # the ARM64 build (scripts/arm64-toolchain.sh adds its runtime)
  debootstrap qemu-user-static binfmt-support # the ARM64 root and its Wine (scripts/arm64-root.sh)
)

need_i386=false
if [[ ${VTL_WITH_X86:-} == 1 ]] || reason=$("$(dirname "$0")/x86-probe.sh" --kernel); then
  packages+=(wine32:i386)                    # the 32-bit loader, for the product DLL's runs
  need_i386=true
else
  echo "install-deps: no 32-bit Wine: $reason"
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$package")
done

# Signing .msix packages needs osslsigncode 2.9, which Debian 12 has in bookworm-backports.
signing_check() {
  reason=$("$(dirname "$0")/signing.sh" check) ||
    echo "install-deps: $reason (Debian 12: apt-get install -t bookworm-backports osslsigncode); no signed release can be made here and the signing tests are skipped"
}

if ((${#missing[@]} == 0)); then
  echo "install-deps: all ${#packages[@]} packages present"
  signing_check
  exit 0
fi

as_root=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || { echo "install-deps: must run as root (or with sudo) to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if $need_i386 && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
signing_check
