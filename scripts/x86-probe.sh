#!/usr/bin/env bash
# x86-probe.sh [--kernel]
# Tells whether this machine can run 32-bit Windows programs. Exit 0 if it can; otherwise
# prints the reason on stdout and exits 1. With --kernel, only asks whether the kernel
# executes 32-bit programs (the question install-deps.sh needs answered before wine32 is there).
# VTL_NO_X86=1 forces the answer "cannot", so that the skipping side can be tested anywhere.
set -u

if [[ ${VTL_NO_X86:-} == 1 ]]; then
  echo "32-bit runs are switched off (VTL_NO_X86=1)"
  exit 1
fi

# The smallest 32-bit x86 Linux program that exits with status 0: if the kernel cannot
# execute it, no 32-bit Wine can run here either.
probe=$(mktemp "${TMPDIR:-/tmp}/vtl-x86-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
{
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'
  printf '\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
  printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'   # mov eax,1; xor ebx,ebx; int 0x80
} >"$probe"
chmod +x "$probe"

if ! answer=$("$probe" 2>&1); then
  case "$answer" in
    *"Exec format error"*) echo "this machine cannot execute 32-bit programs (Exec format error)" ;;
    *) echo "this machine cannot execute 32-bit programs (${answer:-no answer})" ;;
  esac
  exit 1
fi
[[ ${1:-} == --kernel ]] && exit 0
if [[ ! -x /usr/lib/wine/wine ]]; then
  echo "the 32-bit Wine loader /usr/lib/wine/wine is missing (install wine32:i386)"
  exit 1
fi
exit 0
