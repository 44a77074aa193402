#!/usr/bin/env bash
# x86_switch_test.sh <x86 vtlload.exe> <x86 vtlMenu.dll>
# Both sides of the 32-bit switch. Forced to "cannot" (VTL_NO_X86=1), the runners and the prefix
# script report a skip (exit 77) with the reason, never a failure. Unforced, where the probe
# says 32-bit programs run, the runner runs the 32-bit loader for real.
set -uo pipefail
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
vtlload=$1 dll=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

out=$(VTL_NO_X86=1 "$here/run-x86.sh" "$vtlload" "$dll" 2>&1); status=$?
[[ $status == 77 ]] || fail "forced: run-x86.sh exited $status, expected 77"
[[ $out == "SKIPPED: 32-bit runs are switched off (VTL_NO_X86=1)" ]] || fail "forced: run-x86.sh said '$out'"

out=$(VTL_NO_X86=1 "$here/../tests/e2e/with_x86.sh" true 2>&1); status=$?
[[ $status == 77 && $out == "SKIPPED: 32-bit runs are switched off (VTL_NO_X86=1)" ]] ||
  fail "forced: with_x86.sh exited $status with '$out'"

out=$(VTL_NO_X86=1 "$here/wine-prefix.sh" create "$WINEPREFIX-switch" x86 2>&1); status=$?
[[ $status == 77 && $out == SKIPPED:* ]] || fail "forced: wine-prefix.sh exited $status with '$out'"
[[ ! -e $WINEPREFIX-switch ]] || fail "forced: wine-prefix.sh made a prefix"

if reason=$("$here/x86-probe.sh"); then
  out=$("$here/run-x86.sh" "$vtlload" "$dll" 2>&1) || fail "unforced: the 32-bit vtlload failed: $out"
  grep -q DllRegisterServer <<<"$out" || fail "unforced: vtlload listed no exports: $out"
else
  echo "unforced side not run: $reason"
fi

((failures == 0)) && echo "the 32-bit switch reports skips when forced off and runs otherwise"
exit $((failures > 0))
