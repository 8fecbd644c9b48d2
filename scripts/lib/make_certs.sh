#!/usr/bin/env bash
# Generates the local development certificates into certs/ (git-ignored):
#   certs/ca.crt, ca.key                  a local certificate authority, added to the
#                                         system trust store so the client under Wine
#                                         validates the local server like any real one
#   certs/server.crt, server.key          for localhost and 127.0.0.1, signed by that authority
#   certs/untrusted/server.crt, .key      the same names, signed by an authority nobody trusts
# Idempotent: existing, still valid certificates are kept.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
certs="$root/certs"
mkdir -p "$certs/untrusted"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

make_authority() {  # dir subject
  local dir=$1 subject=$2
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -subj "$subject" -keyout "$dir/ca.key" -out "$dir/ca.crt" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

make_server_certificate() {  # dir
  local dir=$1
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=localhost" \
    -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
  printf '%s\n' "subjectAltName=DNS:localhost,IP:127.0.0.1" "basicConstraints=CA:FALSE" \
    "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" >"$dir/server.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 825 -sha256 -extfile "$dir/server.ext" -out "$dir/server.crt" 2>/dev/null
  rm -f "$dir/server.csr" "$dir/server.ext" "$dir/ca.srl"
}

still_valid() {  # dir
  [ -s "$1/ca.crt" ] && [ -s "$1/server.crt" ] && [ -s "$1/server.key" ] &&
    openssl x509 -checkend 604800 -noout -in "$1/server.crt" >/dev/null 2>&1 &&
    openssl verify -CAfile "$1/ca.crt" "$1/server.crt" >/dev/null 2>&1
}

if ! still_valid "$certs"; then
  echo "setup: generating the local certificate authority and the localhost certificate"
  make_authority "$certs" "/CN=Velmor Local Development CA"
  make_server_certificate "$certs"
fi
if ! still_valid "$certs/untrusted"; then
  make_authority "$certs/untrusted" "/CN=Velmor Untrusted Test CA"
  make_server_certificate "$certs/untrusted"
  rm -f "$certs/untrusted/ca.key"
fi

# One trusted authority per working copy, named after its path, so several
# clones on one machine do not replace each other's authority.
anchor="/usr/local/share/ca-certificates/velmor-local-ca-$(printf '%s' "$root" | sha1sum | cut -c1-12).crt"
if ! cmp -s "$certs/ca.crt" "$anchor" 2>/dev/null; then
  as_root install -m 0644 "$certs/ca.crt" "$anchor"
  as_root update-ca-certificates >/dev/null
fi
