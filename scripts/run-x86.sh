#!/usr/bin/env bash
# Runs a 32-bit Windows program under the 32-bit Wine loader, or reports a skip (exit 77)
# with the reason where this machine cannot run 32-bit programs. VTL_WINEDEBUG, when set,
# takes the place of the tests' WINEDEBUG (scripts/heap-check.sh sets warn+heap).
set -u
if ! reason=$("$(dirname "$0")/x86-probe.sh"); then
  echo "SKIPPED: $reason"
  exit 77
fi
[[ -n ${VTL_WINEDEBUG:-} ]] && export WINEDEBUG=$VTL_WINEDEBUG
exec /usr/lib/wine/wine "$@"
