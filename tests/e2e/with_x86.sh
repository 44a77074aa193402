#!/usr/bin/env bash
# with_x86.sh <Wine loader> <test program> [args...]
# Runs a 64-bit test program that also starts the 32-bit build's programs in the same prefix,
# or reports a skip (exit 77) with the reason where this machine cannot run 32-bit programs.
set -u
if ! reason=$("$(dirname "$0")/../../scripts/x86-probe.sh"); then
  echo "SKIPPED: $reason"
  exit 77
fi
exec "$@"
