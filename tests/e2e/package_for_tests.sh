#!/usr/bin/env bash
# package_for_tests.sh <x86|x64> <vtlreg.exe> <vtlMenu.dll> <signing folder> <output.msi>
# The test package as a release makes it: from the DLL that the signed_files fixture signed,
# then signed itself and checked with osslsigncode. Where that fixture could not sign, the
# package is made unsigned from the DLL as built, and says so.
set -uo pipefail
scripts=$(dirname "$0")/../../scripts
arch=$1 vtlreg=$2 dll=$3 signing=$4 msi=$5
rm -f "$msi"
if [[ ! -f $signing/vtlMenu.dll ]]; then
  echo "package_for_tests: no signed DLL (see the signed_files test): the package is unsigned"
  exec "$scripts/msi-from-dll.sh" "$arch" "$vtlreg" "$dll" "$msi"
fi
"$scripts/msi-from-dll.sh" "$arch" "$vtlreg" "$signing/vtlMenu.dll" "${msi%.msi}-unsigned.msi" || exit
VTL_SIGN_PFX=$signing/test-only-signer.pfx VTL_SIGN_PASSWORD=test-only "$scripts/signing.sh" sign "${msi%.msi}-unsigned.msi" "$msi" &&
  "$scripts/signing.sh" verify "$msi" "$signing/test-only-root.crt"
