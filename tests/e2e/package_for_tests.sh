#!/usr/bin/env bash
# package_for_tests.sh <x86|x64> <vtlreg.exe> <vtlMenu.dll> <signing folder> <output.msi>
# The test package as a release makes it: from the DLL that the signed_files test signed, and
# signed itself, which osslsigncode must accept. Where that test could not sign, the package is
# made unsigned from the DLL as built, and says so.
set -uo pipefail
scripts=$(dirname "$0")/../../scripts
if [[ ! -f $4/vtlMenu.dll ]]; then
  echo "package_for_tests: no signed DLL (see the signed_files test): the package is unsigned"
  exec "$scripts/msi-from-dll.sh" "$1" "$2" "$3" "$5"
fi
VTL_SIGN_PFX=$4/test-only-signer.pfx VTL_SIGN_PASSWORD=test-only "$scripts/msi-from-dll.sh" "$1" "$2" "$4/vtlMenu.dll" "$5" &&
  "$scripts/signing.sh" verify "$5" "$4/test-only-root.crt"
