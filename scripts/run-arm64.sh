#!/usr/bin/env bash
# Runs an ARM64 Windows program under Debian's ARM64 Wine loader in the ARM64 root
# (scripts/arm64-root.sh), or reports a skip (exit 77) with the reason where this machine cannot
# run ARM64 programs.
set -u
case "${WINEPREFIX:-}" in
  */build/*) ;;
  *) echo "run-arm64: WINEPREFIX must name a prefix inside a build tree" >&2; exit 2 ;;
esac
root_script=$(dirname "$0")/arm64-root.sh
if ! reason=$("$root_script" check); then
  echo "SKIPPED: $reason"
  exit 77
fi
exec "$root_script" exec /usr/lib/wine/wine64 "$@"
