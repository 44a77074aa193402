#!/usr/bin/env bash
# check_release.sh <release folder>
# Checks a release made by scripts/release.sh: its SHA256SUMS, every signature with osslsigncode
# (against test-only-root.crt when the release is test-signed), the sparse package's block map
# and manifest, and that each DLL without its signature is byte for byte the DLL that the test
# command built from the same commit in another folder (where the work tree is that commit).
set -uo pipefail
cd "$(dirname "$0")/../.."
release=$1 failures=0
fail() { echo "check_release: FAILED: $*"; failures=$((failures + 1)); }

(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
root=()
[[ -f $release/test-only-root.crt ]] && root=(-CAfile "$release/test-only-root.crt")
for file in "$release"/*/*.dll "$release"/*/*.msi "$release"/*.msix; do
  verdict=$(osslsigncode verify "${root[@]}" -in "$file" 2>&1) || fail "osslsigncode rejects $file"
  echo "$file: $(grep -m1 '^Signature verification' <<<"$verdict")"
done
python3 tests/release/check_msix.py "$release/vtlMenu.msix" packaging/AppxManifest.xml || fail "vtlMenu.msix"
python3 tests/release/check_msix.py "$release/vtlMenu-arm64.msix" build/arm64/package/AppxManifest.xml ||
  fail "vtlMenu-arm64.msix"

if [[ -n $(git status --porcelain --untracked-files=no) || $(git rev-parse HEAD) != $(sed -n 's/^commit //p' "$release/SOURCE") ]]; then
  echo "check_release: the two-build comparison is skipped: the work tree is not the release's commit"
  exit $((failures > 0))
fi
for dll in "$release"/*/vtlMenu.dll; do
  arch=$(basename "$(dirname "$dll")")
  osslsigncode remove-signature -in "$dll" -out "$release-work/$arch.dll" >/dev/null 2>&1
  cmp -s "$release-work/$arch.dll" "build/$arch/bin/vtlMenu.dll" && echo "$arch: the release DLL without its signature is \
build/$arch/bin/vtlMenu.dll, byte for byte" || fail "$arch: the release DLL without its signature differs"
done
((failures == 0))
