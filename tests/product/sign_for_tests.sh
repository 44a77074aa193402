#!/usr/bin/env bash
# sign_for_tests.sh <vtlMenu.dll> <folder>
# Makes the tests' throw-away certificate in <folder>, signs a copy of the DLL there
# (vtlMenu.dll) as a release does, and checks the signature with osslsigncode. Skips (exit 77),
# with the reason, where this machine cannot sign.
set -uo pipefail
scripts=$(dirname "$0")/../../scripts
if ! reason=$("$scripts/signing.sh" check); then
  echo "SKIPPED: $reason"
  exit 77
fi
"$scripts/signing.sh" test-certificate "$2" || exit 1
VTL_SIGN_PFX=$2/test-only-signer.pfx VTL_SIGN_PASSWORD=test-only "$scripts/signing.sh" sign "$1" "$2/vtlMenu.dll" || exit 1
"$scripts/signing.sh" verify "$2/vtlMenu.dll" "$2/test-only-root.crt"
