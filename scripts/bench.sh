#!/usr/bin/env bash
# Runs every benchmark program of both builds, each build in a fresh Wine prefix of its own
# kind (the 32-bit product DLL in a 32-bit prefix, the 64-bit DLL in a 64-bit one), and writes
# docs/PERFORMANCE.md (and the terminal): one summary with both DLLs' figures side by side, then
# each build's sections. Every ratio is against a baseline measured in the same run, by the same
# build. Where this machine cannot run 32-bit programs, the 32-bit column says why. The ARM64 DLL
# gets a section of its own: its size, and the right-click against the minimal handler measured
# in the ARM64 Wine under qemu-user, that is under software emulation (or why it was not run).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh >/dev/null || exit 1
scripts/responsive-cpus.sh $$ >/dev/null 2>&1 &   # Wine's server calls wake idle processors
for preset in x86 x64; do
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -- --quiet >/dev/null ||
    { echo "bench: building $preset failed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
declare -A skipped=()
# The ARM64 right-click, emulated, with a quarter of the runs: only its ratios to the minimal
# handler mean anything.
: >"$work/arm64"
if ! reason=$(scripts/arm64-toolchain.sh >/dev/null && { scripts/arm64-root.sh make >/dev/null; scripts/arm64-root.sh check; }); then
  skipped[arm64]=${reason:-the ARM64 runtime could not be built}
elif ! { cmake --preset arm64 >/dev/null && cmake --build --preset arm64 -- --quiet >/dev/null; }; then
  echo "bench: building arm64 failed" >&2; exit 1
else
  prefix=$root/build/arm64/bench-prefix
  scripts/wine-prefix.sh create "$prefix" arm64 >/dev/null || { echo "bench: no arm64 Wine prefix" >&2; exit 1; }
  echo "bench: running arm64 right_click_bench.exe (emulated)" >&2
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY= \
    scripts/run-arm64.sh build/arm64/bench/right_click_bench.exe --few </dev/null | tr -d '\r' >"$work/arm64" ||
    { echo "bench: arm64 right_click_bench.exe failed" >&2; status=1; }
  scripts/wine-prefix.sh stop "$prefix" arm64
fi

for arch in x86 x64; do
  : >"$work/$arch"
  if [[ $arch == x86 ]] && ! reason=$(scripts/x86-probe.sh); then
    skipped[$arch]=$reason
    continue
  fi
  loader=/usr/lib/wine/wine64
  [[ $arch == x86 ]] && loader=/usr/lib/wine/wine
  prefix=$root/build/$arch/bench-prefix
  scripts/wine-prefix.sh create "$prefix" "$arch" >/dev/null || { echo "bench: no $arch Wine prefix" >&2; exit 1; }
  (
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    unset DISPLAY
    for program in build/$arch/bench/*.exe; do
      [[ -e $program ]] || continue
      echo "bench: running $arch $(basename "$program")" >&2
      echo >>"$work/$arch"
      "$loader" "$program" </dev/null | tr -d '\r' >>"$work/$arch" || { echo "bench: $program failed" >&2; exit 1; }
    done
  ) || status=1
  scripts/wine-prefix.sh stop "$prefix" "$arch"
done

# The summary rows (summary|measurement|result|goal|verdict) of both builds, joined by measurement.
summary() {
  for arch in x86 x64; do
    size=$(stat -c %s "build/$arch/bin/vtlMenu.dll")
    goal=- verdict=reported
    if [[ $arch == x86 ]]; then
      goal="at most 48 KiB (49,152 bytes)"
      verdict=$( ((size <= 49152)) && echo met || echo "not met")
    fi
    echo "summary|Size of vtlMenu.dll|$arch|$size bytes|$goal|$verdict"
    grep '^summary|' "$work/$arch" | sed "s/^summary|\([^|]*\)|/summary|\1|$arch|/"
  done | awk -F'|' -v x86skip="${skipped[x86]:-}" '
    { key = $2; if (!(key in seen)) { seen[key] = 1; order[++n] = key }
      if ($3 == "x86") { x86[key] = $4; x86v[key] = $6 } else { x64[key] = $4; x64v[key] = $6 }
      if ($5 != "-" || !(key in goal)) goal[key] = $5 }
    END {
      for (i = 1; i <= n; i++) {
        k = order[i]
        a = (k in x86) ? x86[k] : (x86skip != "" ? "not run: " x86skip : "-")
        b = (k in x64) ? x64[k] : "-"
        v = ((k in x86v) ? x86v[k] : "-") " / " ((k in x64v) ? x64v[k] : "-")
        printf "| %s | %s | %s | %s | %s |\n", k, a, b, goal[k], v
      }
    }'
}

report=$(mktemp)
{
  echo "# Performance"
  echo
  processor=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
  echo "Produced by \`scripts/bench.sh\` on $(date -u +%Y-%m-%d): ${processor:-unknown processor}, $(nproc) cores, Linux $(uname -r), $(/usr/lib/wine/wine64 --version 2>/dev/null || echo 'Wine'); each build in a fresh prefix of its own kind."
  echo "Every ratio compares two measurements taken in the same run by the same build. Times under Wine are"
  echo "wall-clock times of one machine and vary from run to run by several per cent; the ratios are what the goals speak of."
  echo
  echo "## Summary"
  echo
  echo "| Measurement | 32-bit DLL (the product) | 64-bit DLL | Goal | Verdict (32-bit / 64-bit) |"
  echo "|---|---|---|---|---|"
  summary
  for arch in x86 x64; do
    echo
    if [[ $arch == x86 ]]; then echo "# The 32-bit DLL (the product)"; else echo "# The 64-bit DLL"; fi
    if [[ -n ${skipped[$arch]:-} ]]; then
      echo
      echo "Not run: ${skipped[$arch]}."
    fi
    grep -v '^summary|' "$work/$arch"
  done
  echo
  echo "# The ARM64 DLL (emulated)"
  echo
  size=$(stat -c %s build/arm64/bin/vtlMenu.dll 2>/dev/null || echo 0)
  echo "Size of vtlMenu.dll: $size bytes (goal: at most 48 KiB, 49,152 bytes: $( ((size > 0 && size <= 49152)) && echo met || echo "not met"))."
  echo
  if [[ -n ${skipped[arm64]:-} ]]; then
    echo "Right-click not run: ${skipped[arm64]}."
  else
    echo "Measured in Debian's ARM64 Wine under qemu-user, which emulates every ARM64 instruction in software"
    echo "on this x86-64 machine: times are many times what ARM64 hardware takes, and only the ratios to the"
    echo "minimal handler, measured in the same run, speak of the DLL."
    grep -v '^summary|' "$work/arm64"
  fi
} >"$report"

mkdir -p docs
cp "$report" docs/PERFORMANCE.md
cat "$report"
rm -f "$report"
exit $status
