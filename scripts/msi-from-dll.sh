#!/usr/bin/env bash
# msi-from-dll.sh <x86|x64|arm64> <vtlreg.exe> <vtlMenu.dll> <output.msi>
# Harvests the DLL's own registration into a WiX fragment (<output>-files.wxs beside the
# package) with vtlreg, run under Wine in the prefix that WINEPREFIX names, and builds the
# package from it and packaging/vtlMenu.wxs with wixl. Exit 77 (a skip, with the reason) where
# this machine cannot run the 32-bit or the ARM64 vtlreg. wixl knows only Intel and x64
# packages: the ARM64 one is built as a 64-bit package and then marked "Arm64" in its summary
# information's template, which is what the Installer reads for the platform.
# The package is made from its inputs alone, so that two builds of one commit give the same
# bytes: its product code is named by architecture and version, the cabinet's file time and the
# summary information's times are the last commit's (SOURCE_DATE_EPOCH), and its package code
# is made from its content (scripts/msi-summary.py).
# With VTL_SIGN_PFX set, the package is then signed as a release signs it (scripts/signing.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=$1 vtlreg=$2 dll=$3 msi=$4
fragment=${msi%.msi}-files.wxs

# A package from an earlier run never stands in for one this run could not make.
mkdir -p "$(dirname "$msi")"
rm -f "$msi" "$fragment"
case "$arch" in
  x64) loader=(/usr/lib/wine/wine64) ;;
  x86)
    if ! reason=$("$here/x86-probe.sh"); then
      echo "SKIPPED: $reason"
      exit 77
    fi
    loader=(/usr/lib/wine/wine) ;;
  arm64)
    if ! reason=$("$here/arm64-root.sh" check); then
      echo "SKIPPED: $reason"
      exit 77
    fi
    loader=("$here/run-arm64.sh") ;;
  *) echo "usage: msi-from-dll.sh <x86|x64|arm64> <vtlreg.exe> <vtlMenu.dll> <output.msi>" >&2; exit 2 ;;
esac
command -v wixl >/dev/null || { echo "msi-from-dll: wixl is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

# Wine reaches the Unix root as drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

"${loader[@]}" "$vtlreg" harvest "$(windows_path "$(realpath "$dll")")" --wix "$(windows_path "$(realpath -m "$fragment")")"
product=$(realpath "$here/../packaging/vtlMenu.wxs") fragment=$(realpath "$fragment") msi=$(realpath -m "$msi")
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here/.." log -1 --format=%ct 2>/dev/null || echo 0)}
version=$(sed -n 's/.*<Product .* Version="\([0-9.]*\)".*/\1/p' "$product")
# One product code per architecture and version: a rebuild of a version is the same product.
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  5B0E6F3C-2A71-4D8E-9C46-0E1F7A93B2D5 "vtlMenu $arch $version")
# The cabinet keeps the file's time: package a copy that carries the commit's. wixl finds a
# file's source only by a relative path.
staging=$(mktemp -d "$(dirname "$msi")/staging.XXXXXX")
trap 'rm -rf "$staging"' EXIT
cp "$dll" "$staging/vtlMenu.dll"
touch -d "@$epoch" "$staging/vtlMenu.dll"
wixl_arch=$arch
[[ $arch == arm64 ]] && wixl_arch=x64
(cd "$staging" && wixl -a "$wixl_arch" -D Arch="$arch" -D ProductCode="$product_code" -D ModuleSource=vtlMenu.dll \
  -o "$msi" "$product" "$fragment")
if [[ $arch == arm64 ]]; then
  summary=$(msiinfo suminfo "$msi")
  field() { sed -n "s/^$1: //p" <<<"$summary"; }
  template=$(field Template)
  msibuild "$msi" -s "$(field Subject)" "$(field Author)" "Arm64;${template#*;}" "$(field "Revision number (UUID)")"
  [[ $(msiinfo suminfo "$msi" | sed -n 's/^Template: //p') == Arm64\;* ]] ||
    { echo "msi-from-dll: the package's template is not Arm64" >&2; exit 1; }
fi
python3 "$here/msi-summary.py" "$msi" "$epoch" >/dev/null
if [[ -n ${VTL_SIGN_PFX:-} ]]; then
  "$here/signing.sh" sign "$msi" "$staging/signed.msi"
  mv "$staging/signed.msi" "$msi"
fi
echo "msi-from-dll: $msi"
