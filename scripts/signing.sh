#!/usr/bin/env bash
# signing.sh test-certificate <folder>
#   Makes a throw-away certificate authority for tests in <folder> (removed first): a root
#   named "vtlMenu TEST-ONLY root" and a code-signing certificate it issues, whose subject
#   equals the Publisher of packaging/AppxManifest.xml, as Windows requires of the sparse
#   package's signer. Writes test-only-root.crt (the root, to trust where the signatures are
#   checked), test-only-signer.pfx (password "test-only") and their keys. Nothing made here may
#   ever sign anything outside this machine's tests.
# signing.sh sign <in> <out>
#   Authenticode-signs a PE file, an installer package or an .msix with SHA-256, with the
#   certificate and key in VTL_SIGN_PFX (its password in VTL_SIGN_PASSWORD). With
#   VTL_SIGN_TIMESTAMP_URL, a time-stamp server (RFC 3161) counter-signs; without one, the
#   signing time is the last commit's (SOURCE_DATE_EPOCH), so that signing the same file with
#   the same key twice gives the same bytes.
# signing.sh verify <file> <root.crt>
#   osslsigncode's verdict on the file's signature, chained to <root.crt>.
# signing.sh check
#   Says in one line, and fails, where osslsigncode is missing or older than 2.9.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# osslsigncode signs .msix packages since 2.7 and writes their central directory in the right
# order since 2.9.
check_osslsigncode() {
  local version
  version=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\.[0-9]*\).*/\1/p')
  if [[ -z $version ]]; then
    echo "osslsigncode is missing (scripts/install-deps.sh installs it)"
    return 1
  fi
  if [[ $(printf '%s\n' 2.9 "$version" | sort -V | head -1) != 2.9 ]]; then
    echo "osslsigncode $version is older than 2.9, which signs .msix packages correctly"
    return 1
  fi
}

# The manifest's Publisher ("CN=Corvaline VTL", or "CN=..., O=..., C=...") as openssl's subject.
manifest_subject() {
  local publisher
  publisher=$(sed -n 's/.*<Identity [^>]*Publisher="\([^"]*\)".*/\1/p' "$here/../packaging/AppxManifest.xml")
  [[ -n $publisher ]] || { echo "signing: no Publisher in packaging/AppxManifest.xml" >&2; return 1; }
  local parts=() subject=""
  IFS=',' read -ra parts <<<"$publisher"
  for ((index = ${#parts[@]} - 1; index >= 0; index--)); do
    subject+="/$(sed 's/^ *//' <<<"${parts[index]}")"
  done
  printf '%s\n' "$subject"
}

test_certificate() {
  local folder=$1 subject
  subject=$(manifest_subject)
  rm -rf "$folder"
  mkdir -p "$folder"
  cd "$folder"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -keyout test-only-root.key -out test-only-root.crt \
    -subj "/CN=vtlMenu TEST-ONLY root (throw-away, never trust outside tests)" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -keyout test-only-signer.key -out test-only-signer.csr -subj "$subject" 2>/dev/null
  printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" >signer.ext
  openssl x509 -req -in test-only-signer.csr -CA test-only-root.crt -CAkey test-only-root.key -set_serial 0x$RANDOM$RANDOM \
    -days 30 -extfile signer.ext -out test-only-signer.crt 2>/dev/null
  openssl pkcs12 -export -out test-only-signer.pfx -inkey test-only-signer.key -in test-only-signer.crt \
    -certfile test-only-root.crt -passout pass:test-only
  rm -f test-only-signer.csr signer.ext
  echo "signing: TEST-ONLY certificate '$subject' and its throw-away root in $folder"
}

sign() {
  local in=$1 out=$2 options=()
  [[ -n ${VTL_SIGN_PFX:-} ]] || { echo "signing: VTL_SIGN_PFX names no certificate" >&2; return 1; }
  if [[ -n ${VTL_SIGN_TIMESTAMP_URL:-} ]]; then
    options=(-ts "$VTL_SIGN_TIMESTAMP_URL")
  else
    options=(-time "${SOURCE_DATE_EPOCH:-$(git -C "$here/.." log -1 --format=%ct)}")
  fi
  rm -f "$out"
  osslsigncode sign -pkcs12 "$VTL_SIGN_PFX" -pass "${VTL_SIGN_PASSWORD:-}" -h sha256 -n vtlMenu "${options[@]}" \
    -in "$in" -out "$out" >"$out.log" 2>&1 || { cat "$out.log" >&2; rm -f "$out" "$out.log"; return 1; }
  rm -f "$out.log"
}

usage() {
  echo "usage: signing.sh check | test-certificate <folder> | sign <in> <out> | verify <file> <root.crt>" >&2
  exit 2
}
case "${1:-}:$#" in
  check:1) check_osslsigncode ;;
  test-certificate:2) test_certificate "$2" ;;
  sign:3) sign "$2" "$3" ;;
  verify:3) osslsigncode verify -CAfile "$3" -in "$2" ;;
  *) usage ;;
esac
