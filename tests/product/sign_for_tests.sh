#!/usr/bin/env bash
# sign_for_tests.sh <vtlMenu.dll> <folder>
# Makes the tests' throw-away certificate in <folder>, signs a copy of the DLL there
# (vtlMenu.dll) as a release does, and checks the signature with osslsigncode; then makes
# altered.dll, the signed DLL with one bit of its code flipped, which osslsigncode must refuse.
# Skips (exit 77), with the reason, where this machine cannot sign.
set -uo pipefail
scripts=$(dirname "$0")/../../scripts
if ! reason=$("$scripts/signing.sh" check); then
  echo "SKIPPED: $reason"
  exit 77
fi
"$scripts/signing.sh" test-certificate "$2" || exit 1
VTL_SIGN_PFX=$2/test-only-signer.pfx VTL_SIGN_PASSWORD=test-only "$scripts/signing.sh" sign "$1" "$2/vtlMenu.dll" || exit 1
"$scripts/signing.sh" verify "$2/vtlMenu.dll" "$2/test-only-root.crt" || exit 1

# The middle of the code section, found from the PE section table.
at=$(python3 - "$2/vtlMenu.dll" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
header = struct.unpack_from("<I", data, 0x3C)[0]
count, optional = struct.unpack_from("<H", data, header + 6)[0], struct.unpack_from("<H", data, header + 20)[0]
for index in range(count):
    name, _, _, size, offset = struct.unpack_from("<8sIIII", data, header + 24 + optional + 40 * index)
    if name.rstrip(b"\0") == b".text":
        print(offset + size // 2)
EOF
)
byte=$(od -An -tu1 -j "$at" -N1 "$2/vtlMenu.dll")
cp "$2/vtlMenu.dll" "$2/altered.dll"
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$2/altered.dll" bs=1 seek="$at" conv=notrunc 2>/dev/null
! "$scripts/signing.sh" verify "$2/altered.dll" "$2/test-only-root.crt" >/dev/null 2>&1 ||
  { echo "osslsigncode accepts the signed DLL with a byte of its code changed"; exit 1; }
echo "osslsigncode refuses altered.dll, the signed DLL with the byte at $at changed"
