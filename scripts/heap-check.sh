#!/usr/bin/env bash
# Runs the 32-bit suites once more with Wine's heap checking on (WINEDEBUG=warn+heap, for the
# test programs and every program they start) and fails on a test failure or on anything the
# checking heap reports, but for the one warning the tests cause on purpose: a heap of fixed
# size that refuses to grow. Needs the x86 build; skips, with the reason, where 32-bit
# programs cannot run.
set -uo pipefail
cd "$(dirname "$0")/.."

if ! reason=$(scripts/x86-probe.sh); then
  echo "heap-check: skipped: $reason"
  exit 0
fi
scripts/responsive-cpus.sh $$ >/dev/null 2>&1 &   # Wine's server calls wake idle processors
log=build/x86/heap-check.log
VTL_WINEDEBUG=warn+heap ctest --preset x86 -V "$@" >"$log" 2>&1
status=$?
grep -E 'tests passed|tests failed' "$log"
reports=$(grep -E '(err|warn|fixme):heap' "$log" | grep -v "isn't growable, cannot allocate" | sed 's/^[0-9]*: //' | sort | uniq -c)
if [[ -n $reports ]]; then
  echo "heap-check: the checking heap reported:"
  echo "$reports"
  status=1
fi
expected=$(grep -c "isn't growable, cannot allocate" "$log")
echo "heap-check: $( ((status == 0)) && echo passed || echo FAILED ); $expected warnings of fixed-size heaps refusing to grow, which the tests cause on purpose (log: $log)"
exit $status
