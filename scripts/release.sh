#!/usr/bin/env bash
# release.sh [output folder]
# Builds a signed release of the last commit into build/release (or the folder named):
#   <arch>/vtlMenu.dll         the DLL of each architecture, signed
#   <arch>/vtlMenu.reg         its registration as a registry file, for the package's install path
#   <arch>/vtlMenu-<arch>.msi  its installer package, holding the signed DLL, signed itself
#   vtlMenu.msix               Windows 11's sparse package, signed (vtlMenu-arm64.msix: for ARM64)
#   SOURCE, SHA256SUMS         the commit it was built from; the SHA-256 of every file
# The commit is exported into a fresh folder beside the output ("<output>-work") and built
# there from nothing, so neither uncommitted changes nor an earlier build can reach the release.
# Every time stamp is the commit's (SOURCE_DATE_EPOCH), so two releases of one commit signed
# with one certificate are byte for byte alike.
#
# The certificate: VTL_SIGN_PFX (a PKCS#12 file) with VTL_SIGN_PASSWORD, its subject equal to
# the Publisher of packaging/AppxManifest.xml; VTL_SIGN_TIMESTAMP_URL names a time-stamp server;
# VTL_SIGN_ROOT the root certificate the signatures are checked against (otherwise the
# system's). Without VTL_SIGN_PFX the release is signed with a throw-away TEST-ONLY certificate
# made in the work folder, and says so in its output and in TEST-SIGNED.txt.
#
# What this machine cannot make (a package whose harvest needs a program it cannot run) is
# left out with the reason in one line; the release still succeeds.
set -uo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/release}")
work=$out-work

# The architectures of a release: each a configure preset of CMakePresets.json.
arches=(x86 x64 arm64)

die() { echo "release: $*" >&2; exit 1; }
say() { echo "release: $*"; }

scripts/install-deps.sh >/dev/null || die "installing the Debian packages failed"
reason=$(scripts/signing.sh check) || die "$reason"
scripts/responsive-cpus.sh $$ >/dev/null 2>&1 &   # Wine's server calls wake idle processors
scripts/arm64-toolchain.sh >/dev/null || die "building the ARM64 runtime failed"
export VTL_ARM64_TOOLCHAIN=$PWD/build/arm64-toolchain   # the exported tree builds with this one
scripts/arm64-root.sh make >/dev/null

commit=$(git rev-parse HEAD) || die "not a git work tree"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}
[[ -z $(git status --porcelain --untracked-files=no) ]] ||
  say "uncommitted changes are not in the release: it is built from commit $commit"

# An earlier release there is replaced; anything else is left alone.
for folder in "$out" "$work"; do
  [[ ! -e $folder || -f $folder/SOURCE || -d $folder/source || -z $(ls -A "$folder") ]] ||
    die "$folder holds something other than a release; name another folder"
done
rm -rf "$out" "$work"
mkdir -p "$out" "$work/source"
git archive --format=tar HEAD | tar -x -C "$work/source" || die "exporting commit $commit failed"
source=$work/source

if [[ -z ${VTL_SIGN_PFX:-} ]]; then
  scripts/signing.sh test-certificate "$work/test-certificate" >/dev/null || die "making the test certificate failed"
  export VTL_SIGN_PFX=$work/test-certificate/test-only-signer.pfx VTL_SIGN_PASSWORD=test-only
  export VTL_SIGN_ROOT=$work/test-certificate/test-only-root.crt
  cp "$VTL_SIGN_ROOT" "$out/test-only-root.crt"
  cat >"$out/TEST-SIGNED.txt" <<EOF
This release is signed with a throw-away TEST-ONLY certificate made on the machine that built it.
Its signatures show only that the files are the ones that machine signed; trust
test-only-root.crt for tests and nowhere else. A release for users is signed with the
publisher's certificate (VTL_SIGN_PFX).
EOF
  say "signing with a throw-away TEST-ONLY certificate (no VTL_SIGN_PFX given): not for distribution"
fi
verify_options=()
[[ -n ${VTL_SIGN_ROOT:-} ]] && verify_options=(-CAfile "$VTL_SIGN_ROOT")

verify() {
  osslsigncode verify "${verify_options[@]}" -in "$1" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log" >&2; die "the signature of $1 does not verify"; }
}
sign() {
  scripts/signing.sh sign "$1" "$2" || die "signing $2 failed"
  verify "$2"
}

# Where each architecture's vtlreg can run, for the harvest: prints why not where it cannot.
harvest_loader() {
  case "$1" in
    x64) echo /usr/lib/wine/wine64 ;;
    x86) scripts/x86-probe.sh >&2 || return 1; echo /usr/lib/wine/wine ;;
    arm64) scripts/arm64-root.sh check >&2 || return 1; echo "$PWD/scripts/run-arm64.sh" ;;
    *) echo "no way to run the $1 vtlreg is known to this script" >&2; return 1 ;;
  esac
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

sizes=()
for arch in "${arches[@]}"; do
  say "building $arch from commit $commit"
  tree=$source/build/$arch
  { cmake -S "$source" --preset "$arch" >"$work/configure-$arch.log" 2>&1 &&
    cmake --build "$tree" --target vtlMenu vtlreg -j 2 >"$work/build-$arch.log" 2>&1; } ||
    die "building $arch failed (see $work/build-$arch.log)"
  mkdir -p "$out/$arch"
  dll=$out/$arch/vtlMenu.dll
  sign "$tree/bin/vtlMenu.dll" "$dll"
  sizes+=("$arch $(stat -c %s "$tree/bin/vtlMenu.dll") $(stat -c %s "$dll")")

  if ! reason=$(harvest_loader "$arch" 2>&1 >/dev/null); then
    say "$arch registry file and package skipped: $reason"
    continue
  fi
  loader=$(harvest_loader "$arch")
  # The registry file names the path the package installs to.
  install_path='C:\Program Files\vtlMenu\vtlMenu.dll'
  [[ $arch == x86 ]] && install_path='C:\Program Files (x86)\vtlMenu\vtlMenu.dll'
  prefix=$PWD/build/release-prefix-$arch   # Wine prefixes live in this tree's build folder
  scripts/wine-prefix.sh create "$prefix" "$arch" >/dev/null || die "no $arch Wine prefix"
  (
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    "$loader" "$tree/bin/vtlreg.exe" harvest "$(windows_path "$dll")" --reg "$(windows_path "$out/$arch/vtlMenu.reg")" \
      --module-path "$install_path" >"$work/harvest-$arch.log" 2>&1 &&
      scripts/msi-from-dll.sh "$arch" "$tree/bin/vtlreg.exe" "$dll" "$work/vtlMenu-$arch.msi" >>"$work/harvest-$arch.log" 2>&1
  )
  status=$?
  scripts/wine-prefix.sh stop "$prefix" "$arch"
  ((status == 0)) || die "harvesting or packaging the $arch DLL failed (see $work/harvest-$arch.log)"
  verify "$work/vtlMenu-$arch.msi"   # signed by msi-from-dll.sh
  mv "$work/vtlMenu-$arch.msi" "$out/$arch/"
done

# The sparse packages: packaging/ for x64 machines, and the ARM64 build's copy of it, made for
# arm64 machines.
for package in vtlMenu:packaging vtlMenu-arm64:build/arm64/package; do
  name=${package%%:*} folder=$source/${package#*:}
  say "packing the sparse package $name.msix"
  python3 scripts/msix-pack.py pack "$folder" "$work/$name.msix" "$SOURCE_DATE_EPOCH" ||
    die "packing $name.msix failed"
  sign "$work/$name.msix" "$out/$name.msix"
  python3 scripts/msix-pack.py stamp-signature "$out/$name.msix" "$SOURCE_DATE_EPOCH" || die "stamping $name.msix failed"
  verify "$out/$name.msix"
done

printf 'vtlMenu %s\ncommit %s\nSOURCE_DATE_EPOCH %s\n' \
  "$(sed -n 's/^project(vtlMenu VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")" "$commit" "$SOURCE_DATE_EPOCH" >"$out/SOURCE"
(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS) ||
  die "writing SHA256SUMS failed"

say "the DLLs (the size goal, at most 48 KiB, is the unsigned 32-bit and ARM64 DLLs'):"
for line in "${sizes[@]}"; do
  read -r arch unsigned signed <<<"$line"
  verdict=
  [[ $arch != x64 ]] && verdict=$( ((unsigned <= 49152)) && echo ", goal met" || echo ", goal NOT met")
  printf '  %-6s unsigned %6d bytes, signed %6d bytes%s\n' "$arch" "$unsigned" "$signed" "$verdict"
done
say "$out, from commit $commit:"
sed 's/^/  /' "$out/SHA256SUMS"
