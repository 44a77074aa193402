#!/usr/bin/env bash
# Runs every benchmark program of the 64-bit build in a fresh Wine prefix and writes their
# sections to docs/PERFORMANCE.md (and to the terminal).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh >/dev/null || exit 1
for preset in x86 x64; do
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -- --quiet >/dev/null ||
    { echo "bench: building $preset failed" >&2; exit 1; }
done

prefix=$root/build/x64/bench-prefix
scripts/wine-prefix.sh create "$prefix" x64 >/dev/null || { echo "bench: no Wine prefix" >&2; exit 1; }
trap 'scripts/wine-prefix.sh stop "$prefix" x64' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY

report=$(mktemp)
{
  echo "# Performance"
  echo
  echo "Measured by \`scripts/bench.sh\` on $(date -u +%Y-%m-%d), $(nproc) cores, Wine $(wine64 --version 2>/dev/null || echo '?'), 64-bit build."
  echo "Every ratio compares two measurements taken in the same run."
  echo
  echo "| DLL | size |"
  echo "|---|---|"
  for preset in x86 x64; do
    echo "| $preset | $(stat -c %s build/$preset/bin/vtlMenu.dll) bytes |"
  done
} >"$report"

status=0
for program in build/x64/bench/*.exe; do
  [[ -e $program ]] || continue
  echo >>"$report"
  if ! /usr/lib/wine/wine64 "$program" >>"$report"; then
    echo "bench: $program failed" >&2
    status=1
  fi
done
mkdir -p docs
cp "$report" docs/PERFORMANCE.md
cat "$report"
rm -f "$report"
exit $status
