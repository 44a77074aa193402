#!/usr/bin/env bash
# wine-prefix.sh create|stop <prefix> [x64|x86|arm64]
# create: makes a fresh Wine prefix (removing an old one at that place) and starts one
#         persistent wineserver for it, which stays until "stop".
# stop:   ends that wineserver.
set -euo pipefail
action=$1 prefix=$2 arch=${3:-x64}

case "$prefix" in
  */build/*) ;;
  *) echo "wine-prefix: refusing to touch a prefix outside a build tree: $prefix" >&2; exit 2 ;;
esac

export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY

# ARM64 prefixes belong to the ARM64 Wine inside the ARM64 root.
in_root=() wineserver=wineserver
if [[ $arch == arm64 ]]; then
  in_root=("$(dirname "$0")/arm64-root.sh" exec) wineserver=/usr/lib/wine/wineserver64
fi

case "$action" in
  create)
    if [[ $arch == x86 ]] && ! reason=$("$(dirname "$0")/x86-probe.sh"); then
      echo "SKIPPED: $reason"
      exit 77
    fi
    if [[ $arch == arm64 ]] && ! reason=$("$(dirname "$0")/arm64-root.sh" check); then
      echo "SKIPPED: $reason"
      exit 77
    fi
    "${in_root[@]}" $wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    # The persistent server makes the prefix, so it must already know the prefix's kind:
    # started without WINEARCH, it makes a 64-bit prefix that a 32-bit wineboot refuses.
    loader=/usr/lib/wine/wine64
    export WINEARCH=win64
    if [[ $arch == x86 ]]; then
      loader=/usr/lib/wine/wine
      WINEARCH=win32
    fi
    "${in_root[@]}" $wineserver -p >/dev/null 2>&1 </dev/null
    "${in_root[@]}" "$loader" wineboot.exe -i >/dev/null 2>&1
    if [[ $arch == arm64 ]]; then
      # Without a display driver that can start, COM's hidden windows fail there.
      "${in_root[@]}" "$loader" reg.exe add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    fi
    echo "wine-prefix: fresh prefix at $prefix"
    ;;
  stop)
    "${in_root[@]}" $wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: wine-prefix.sh create|stop <prefix> [x64|x86|arm64]" >&2
    exit 2
    ;;
esac
