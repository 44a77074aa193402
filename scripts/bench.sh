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

sections=$(mktemp)
status=0
for program in build/x64/bench/*.exe; do
  [[ -e $program ]] || continue
  echo "bench: running $(basename "$program")" >&2
  echo >>"$sections"
  if ! /usr/lib/wine/wine64 "$program" </dev/null | tr -d '\r' >>"$sections"; then
    echo "bench: $program failed" >&2
    status=1
  fi
done

report=$(mktemp)
{
  echo "# Performance"
  echo
  echo "Produced by \`scripts/bench.sh\` on $(date -u +%Y-%m-%d): $(nproc) cores, $(/usr/lib/wine/wine64 --version 2>/dev/null || echo 'Wine'), the 64-bit build in a fresh prefix."
  echo "Every ratio compares two measurements taken in the same run. Times under Wine are wall-clock times of"
  echo "one machine and vary from run to run by several per cent; the ratios are what the goals speak of."
  echo
  echo "## Summary"
  echo
  echo "| Measurement | Result | Goal | Verdict |"
  echo "|---|---|---|---|"
  for preset in x86 x64; do
    size=$(stat -c %s "build/$preset/bin/vtlMenu.dll")
    goal="-" verdict="reported"
    if [[ $preset == x86 ]]; then
      goal="at most 48 KiB (49,152 bytes)"
      verdict=$( ((size <= 49152)) && echo met || echo "not met")
    fi
    echo "| Size of vtlMenu.dll ($preset) | $size bytes | $goal | $verdict |"
  done
  grep '^summary|' "$sections" | sed 's/^summary|//; s/|/ | /g; s/^/| /; s/$/ |/; s/  */ /g'
  grep -v '^summary|' "$sections"
} >"$report"

mkdir -p docs
cp "$report" docs/PERFORMANCE.md
cat "$report"
rm -f "$report" "$sections"
exit $status
