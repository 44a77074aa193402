#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the 32-bit, the 64-bit and the ARM64 DLL
# with their tests, runs every test under Wine, each build in a fresh prefix of its own, runs the
# 32-bit suites once more with Wine's heap checking on (scripts/heap-check.sh), then makes a
# test-signed release of the last commit (scripts/release.sh, into build/release) and checks it
# (tests/release/check_release.sh), the two-build comparison of its DLLs with these included.
# Where this machine cannot run 32-bit programs (or VTL_NO_X86=1 says to act so), the 32-bit
# runtime tests are reported as skipped, with the reason; likewise the ARM64 runtime tests where
# ARM64 programs cannot run through qemu-user (or VTL_NO_ARM64=1). The static checks of every
# DLL run everywhere.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || exit 1
scripts/arm64-toolchain.sh || exit 1
scripts/arm64-root.sh make; made=$?   # 77: ARM64 cannot run here, the runtime tests skip
((made == 0 || made == 77)) || exit 1
scripts/responsive-cpus.sh $$ >/dev/null 2>&1 &   # Wine's server calls wake idle processors
for preset in x86 x64 arm64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null || exit 1
  cmake --build --preset "$preset" || exit 1
done

status=0
for preset in x64 x86 arm64; do
  echo "== test $preset"
  if [[ $preset == x86 ]] && ! reason=$(scripts/x86-probe.sh); then
    echo "32-bit runtime tests are reported as skipped: $reason"
  fi
  if [[ $preset == arm64 ]] && ! reason=$(scripts/arm64-root.sh check); then
    echo "ARM64 runtime tests are reported as skipped: $reason"
  fi
  ctest --preset "$preset" "$@" || status=1
done
echo "== test x86 with Wine's heap checking"
scripts/heap-check.sh "$@" || status=1
echo "== release"
if reason=$(scripts/signing.sh check); then
  (unset VTL_SIGN_PFX VTL_SIGN_PASSWORD VTL_SIGN_TIMESTAMP_URL VTL_SIGN_ROOT; scripts/release.sh build/release) &&
    tests/release/check_release.sh build/release || status=1
else
  echo "the release and its checks are reported as skipped: $reason"
fi
exit $status
