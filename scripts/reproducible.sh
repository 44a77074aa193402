#!/usr/bin/env bash
# reproducible.sh
# Shows that a release is made from its sources alone: makes two releases of the last commit
# with scripts/release.sh, one after the other, each exported into and built in a folder of
# its own at another depth (build/reproducible/first and
# build/reproducible/second/built/elsewhere), both signed with one throw-away TEST-ONLY
# certificate, and compares them byte for byte: every file of the two releases, and the
# unsigned DLLs they were made from. Prints how long it took; fails on any difference.
set -uo pipefail
cd "$(dirname "$0")/.."
base=$PWD/build/reproducible
started=$(date +%s)

rm -rf "$base"
scripts/signing.sh test-certificate "$base/certificate" >/dev/null || exit 1
export VTL_SIGN_PFX=$base/certificate/test-only-signer.pfx VTL_SIGN_PASSWORD=test-only
export VTL_SIGN_ROOT=$base/certificate/test-only-root.crt
unset VTL_SIGN_TIMESTAMP_URL   # a time-stamp server answers with the time of asking
releases=("$base/first" "$base/second/built/elsewhere")
for release in "${releases[@]}"; do
  echo "reproducible: release at $release ($(date -u +%H:%M:%S))"
  scripts/release.sh "$release" >"$base/$(basename "$release").log" 2>&1 ||
    { tail -20 "$base/$(basename "$release").log"; echo "reproducible: the release failed" >&2; exit 1; }
done

first=${releases[0]} second=${releases[1]} differences=0
compare() {
  if cmp -s "$1" "$2"; then
    echo "  same   $3 ($(stat -c %s "$1") bytes)"
  else
    echo "  DIFFER $3"
    differences=$((differences + 1))
  fi
}
echo "reproducible: the two releases, file by file:"
while IFS= read -r file; do
  compare "$first/$file" "$second/$file" "$file"
done < <(cd "$first" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ $(cd "$first" && find . -type f | LC_ALL=C sort) == $(cd "$second" && find . -type f | LC_ALL=C sort) ]] ||
  { echo "  DIFFER the lists of files"; differences=$((differences + 1)); }
echo "reproducible: what they were made from, unsigned:"
for dll in "$first-work"/source/build/*/bin/vtlMenu.dll; do
  arch=$(basename "$(dirname "$(dirname "$dll")")")
  compare "$dll" "$second-work/source/build/$arch/bin/vtlMenu.dll" "$arch/vtlMenu.dll, unsigned"
done
echo "reproducible: $( ((differences == 0)) && echo "byte for byte alike" || echo "$differences DIFFERENCES" ) in $(($(date +%s) - started)) s"
((differences == 0))
