#!/usr/bin/env bash
# The main job: installs what is missing, builds both DLLs, makes a fresh Wine prefix inside
# the build tree and loads the 64-bit DLL there. Every step says what failed and why.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

step() { printf '\n== %s\n' "$*"; }
die() { printf 'demo: %s\n' "$*" >&2; exit 1; }

step "dependencies"
scripts/install-deps.sh || die "installing the Debian packages failed"

for preset in x86 x64; do
  step "build ($preset)"
  cmake --preset "$preset" >/dev/null || die "configuring the $preset build failed"
  cmake --build --preset "$preset" -- --quiet >/dev/null || die "building the $preset DLL failed (run: cmake --build --preset $preset)"
  ls -l "build/$preset/bin/vtlMenu.dll" | awk '{print $5 " bytes  " $9}'
done

prefix=$root/build/x64/demo-prefix
step "fresh Wine prefix"
scripts/wine-prefix.sh create "$prefix" x64 || die "creating the Wine prefix at $prefix failed"
trap 'scripts/wine-prefix.sh stop "$prefix" x64' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY

step "load the 64-bit DLL"
/usr/lib/wine/wine64 build/x64/bin/vtlload.exe "Z:${root//\//\\}\\build\\x64\\bin\\vtlMenu.dll" ||
  die "loading vtlMenu.dll failed"
