#!/usr/bin/env bash
# package.sh [x86|x64|arm64]...
# Builds the installer packages build/<arch>/vtlMenu-<arch>.msi (all three by default): builds the tree, harvests the DLL's own registration with that tree's vtlreg in
# a fresh Wine prefix of its own (build/<arch>/package-prefix), and builds the package from the
# fragment and packaging/vtlMenu.wxs with wixl. The 32-bit and the ARM64 package are skipped,
# with the reason, where this machine cannot run such programs (scripts/x86-probe.sh,
# scripts/arm64-root.sh check).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh || exit 1
arches=("$@")
((${#arches[@]})) || arches=(x86 x64 arm64)

status=0
for arch in "${arches[@]}"; do
  case "$arch" in x86|x64|arm64) ;; *) echo "usage: package.sh [x86|x64|arm64]..." >&2; exit 2 ;; esac
  if [[ $arch == x86 ]] && ! reason=$(scripts/x86-probe.sh); then
    echo "== package x86 skipped: $reason"
    continue
  fi
  if [[ $arch == arm64 ]]; then
    scripts/arm64-toolchain.sh >/dev/null || { status=1; continue; }
    scripts/arm64-root.sh make >/dev/null
    if ! reason=$(scripts/arm64-root.sh check); then
      echo "== package arm64 skipped: $reason"
      continue
    fi
  fi
  echo "== package $arch"
  tree=$root/build/$arch
  { cmake --preset "$arch" >/dev/null && cmake --build --preset "$arch" --target vtlMenu vtlreg >/dev/null; } || { status=1; continue; }
  export WINEPREFIX=$tree/package-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
  scripts/wine-prefix.sh create "$WINEPREFIX" "$arch" || { status=1; continue; }
  scripts/msi-from-dll.sh "$arch" "$tree/bin/vtlreg.exe" "$tree/bin/vtlMenu.dll" "$tree/vtlMenu-$arch.msi" || status=1
  scripts/wine-prefix.sh stop "$WINEPREFIX" "$arch"
done
exit $status
