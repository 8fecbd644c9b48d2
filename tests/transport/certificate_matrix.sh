#!/usr/bin/env bash
# Certificate matrix: the local server presents, one case at a time, a
# certificate made here with openssl. velmor-probe.exe and the real client,
# each over both back-ends, must refuse every bad one with the transport's own
# text before a single request reaches the server, and must carry a message
# over the trusted chains. The client must stay up after a refusal and keep
# refusing when it retries.
#
#   certificate_matrix.sh PROBE_EXE [CASE...]    (no CASE: all of them)
#
# Environment as for the end-to-end tests: VELMOR_CLIENT_EXE, and
# VELMOR_NATIVE_BIN_DIR for the server. Needs 127.0.0.1:443 (restarts the
# server there once per case through with_local_server.sh) and
# certs/ca.{crt,key}, the local authority the system trust store holds.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e_common.sh"
self=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")
certs="$e2e_root/certs"
client_name=CertMatrix

# CASE | certificate chain the server sends | WinHTTP's text | the compatibility transport's text
# ("accept": the connection must succeed). Every leaf has the key leaf.key.
# The compatibility transport checks the chain itself and names what it found:
# CERT_E_UNTRUSTEDROOT -2146762487, CERT_E_EXPIRED -2146762495 (outside the
# validity period either way), CERT_E_CN_NO_MATCH -2146762481,
# CERT_E_WRONG_USAGE -2146762480, TRUST_E_BASIC_CONSTRAINTS -2146869223. Wine's WinHTTP fails every refused
# certificate alike with ERROR_WINHTTP_SECURE_CHANNEL_ERROR (Windows says
# ERROR_WINHTTP_SECURE_FAILURE, 12175); that the same server passes with the
# trusted certificates shows it is the certificate that is refused.
verify_failed="The server's TLS certificate could not be verified"
winhttp_refused="WinHTTP WebSocket upgrade failed (12157)"
cases=(
  "trusted|trusted.pem|accept|accept"
  "intermediate_chain|intermediate-chain.pem|accept|accept"
  "untrusted_root|untrusted-root.pem|$winhttp_refused|$verify_failed (-2146762487)."
  "expired|expired.pem|$winhttp_refused|$verify_failed (-2146762495)."
  "not_yet_valid|not-yet-valid.pem|$winhttp_refused|$verify_failed (-2146762495)."
  "wrong_host|wrong-host.pem|$winhttp_refused|$verify_failed (-2146762481)."
  "self_signed|self-signed.pem|$winhttp_refused|$verify_failed (-2146762487)."
  "client_auth_only|client-auth-only.pem|$winhttp_refused|$verify_failed (-2146762480)."
  "issuer_not_ca|issuer-not-ca.pem|$winhttp_refused|$verify_failed (-2146869223)."
)

# --- certificates ------------------------------------------------------------------

make_certificates() {  # dir
  local dir=$1
  mkdir -p "$dir/db"
  : >"$dir/db/index.txt"
  echo 1000 >"$dir/db/serial"
  # "openssl ca" is the OpenSSL 3.0 way to give a certificate any validity
  # period (-startdate/-enddate), past or future.
  cat >"$dir/ca.cnf" <<EOF
[ca]
default_ca = matrix
[matrix]
database = $dir/db/index.txt
new_certs_dir = $dir/db
serial = $dir/db/serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
EOF
  local leaf_ext=("basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment")
  local authority_ext=("basicConstraints=critical,CA:TRUE" "keyUsage=critical,keyCertSign,cRLSign")
  local here="subjectAltName=DNS:localhost,IP:127.0.0.1"
  sign() {  # out issuer-crt issuer-key csr subject extension... [-- openssl ca options]
    local out=$1 issuer=$2 issuer_key=$3 csr=$4 subject=$5
    shift 5
    : >"$dir/ext"
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do echo "$1" >>"$dir/ext"; shift; done
    [ "${1:-}" = "--" ] && shift
    [ $# -gt 0 ] || set -- -days 30
    openssl ca -batch -notext -config "$dir/ca.cnf" -cert "$issuer" -keyfile "$issuer_key" -in "$dir/$csr" \
      -subj "$subject" -extfile "$dir/ext" -out "$dir/$out" "$@" 2>"$dir/openssl.err" ||
      { cat "$dir/openssl.err" >&2; return 1; }
  }
  openssl req -new -newkey rsa:2048 -nodes -subj /CN=localhost -keyout "$dir/leaf.key" -out "$dir/leaf.csr" \
    2>/dev/null || return 1
  openssl req -new -newkey rsa:2048 -nodes -subj /CN=x -keyout "$dir/authority.key" -out "$dir/authority.csr" \
    2>/dev/null || return 1
  local year_ahead two_years_ahead
  year_ahead=$(date -u -d '+1 year' +%Y%m%d%H%M%SZ)
  two_years_ahead=$(date -u -d '+2 years' +%Y%m%d%H%M%SZ)
  local ca=("$certs/ca.crt" "$certs/ca.key")
  sign trusted.pem "${ca[@]}" leaf.csr /CN=localhost "${leaf_ext[@]}" "$here" extendedKeyUsage=serverAuth &&
  sign expired.pem "${ca[@]}" leaf.csr /CN=localhost "${leaf_ext[@]}" "$here" extendedKeyUsage=serverAuth \
    -- -startdate 20200101000000Z -enddate 20210101000000Z &&
  sign not-yet-valid.pem "${ca[@]}" leaf.csr /CN=localhost "${leaf_ext[@]}" "$here" extendedKeyUsage=serverAuth \
    -- -startdate "$year_ahead" -enddate "$two_years_ahead" &&
  # The subject still names localhost: with alternative names present, the
  # subject's common name does not count.
  sign wrong-host.pem "${ca[@]}" leaf.csr /CN=localhost "${leaf_ext[@]}" \
    subjectAltName=DNS:elsewhere.invalid extendedKeyUsage=serverAuth &&
  sign client-auth-only.pem "${ca[@]}" leaf.csr /CN=localhost "${leaf_ext[@]}" "$here" extendedKeyUsage=clientAuth &&
  # An intermediate authority under the trusted one; the server sends it
  # after the leaf.
  sign intermediate.crt "${ca[@]}" authority.csr "/CN=Velmor Matrix Intermediate" "${authority_ext[@]}" &&
  sign intermediate-leaf.crt "$dir/intermediate.crt" "$dir/authority.key" leaf.csr /CN=localhost \
    "${leaf_ext[@]}" "$here" extendedKeyUsage=serverAuth &&
  cat "$dir/intermediate-leaf.crt" "$dir/intermediate.crt" >"$dir/intermediate-chain.pem" &&
  # The same, but the issuer the trusted authority signed is no authority
  # itself (CA:FALSE).
  sign not-an-authority.crt "${ca[@]}" authority.csr "/CN=Velmor Matrix Not An Authority" "${leaf_ext[0]}" &&
  sign issued-by-leaf.crt "$dir/not-an-authority.crt" "$dir/authority.key" leaf.csr /CN=localhost \
    "${leaf_ext[@]}" "$here" extendedKeyUsage=serverAuth &&
  cat "$dir/issued-by-leaf.crt" "$dir/not-an-authority.crt" >"$dir/issuer-not-ca.pem" &&
  # A root nobody trusts, sent along with its leaf.
  openssl req -x509 -new -key "$dir/authority.key" -subj "/CN=Velmor Matrix Unknown Root" -days 30 \
    -addext "${authority_ext[0]}" -addext "${authority_ext[1]}" -out "$dir/unknown-root.crt" 2>/dev/null &&
  sign unknown-root-leaf.crt "$dir/unknown-root.crt" "$dir/authority.key" leaf.csr /CN=localhost \
    "${leaf_ext[@]}" "$here" extendedKeyUsage=serverAuth &&
  cat "$dir/unknown-root-leaf.crt" "$dir/unknown-root.crt" >"$dir/untrusted-root.pem" &&
  openssl req -x509 -new -key "$dir/leaf.key" -subj /CN=localhost -days 30 -addext "${leaf_ext[0]}" \
    -addext "$here" -addext extendedKeyUsage=serverAuth -out "$dir/self-signed.pem" 2>/dev/null
}

# --- one case, run by with_local_server.sh while the server presents its certificate ---

# Back-ends by how they are reached: "winhttp" (the default), "compat"
# (forced with --compat) and "stand-in" (picked by the transport itself beside
# the stand-in winhttp.dll, see below; the client is reached only this way).
program() {  # back-end probe|client
  local exe=$VELMOR_PROBE_EXE
  [ "$2" = client ] && exe=$VELMOR_CLIENT_EXE
  [ "$1" = stand-in ] && exe="$MATRIX_STAND_IN/$(basename "$exe")"
  echo "$exe"
}
overrides() {  # back-end
  if [ "$1" = stand-in ]; then echo "$WINEDLLOVERRIDES;winhttp=n"; else echo "$WINEDLLOVERRIDES"; fi
}

probe() {  # back-end
  local args=(--path "/websocket?user=probe-$1" --linger 3)
  [ "$1" = compat ] && args+=(--compat)
  # The same request in every case: a connection that should have been
  # refused would show up in the server's record.
  printf '{"type":"list_users"}\n' | WINEDLLOVERRIDES=$(overrides "$1") timeout 120 wine "$(program "$1" probe)" \
    "${args[@]}" >"$out-probe-$1.out" 2>"$out-probe-$1.err"
  echo $? >"$out-probe-$1.status"
}

# The real client, with the stored name, connects by itself on start. Two
# clients share the prefix's log file; their texts tell them apart.
declare -A client_pids
start_client() {  # back-end
  WINEDLLOVERRIDES=$(overrides "$1") wine "$(program "$1" client)" >"$out-client-$1.out" 2>&1 &
  client_pids[$1]=$!
}
log_count() { cat "$(client_log_path)" 2>/dev/null | grep -cF -- "$1"; }

close_clients() {
  # WM_CLOSE to every VelmorChat.exe, as the window frame would send it.
  wine taskkill /im VelmorChat.exe >/dev/null 2>&1 </dev/null
  local backend code
  for backend in "${!client_pids[@]}"; do
    code=0
    wait "${client_pids[$backend]}" || code=$?
    e2e_check "$name, client over $backend: closes with exit code 0 (got $code)" [ "$code" -eq 0 ]
  done
  client_pids=()
}

run_case() {  # name winhttp-expectation compat-expectation
  name=$1 out="$MATRIX_WORK/$1"
  local -A expected=([winhttp]=$2 [compat]=$3 [stand-in]=$3)
  local accepted=0 backend status error requests
  [ "$2" = accept ] && accepted=1
  e2e_control /reset >/dev/null || { e2e_fail "$name: the control interface does not answer"; exit 1; }
  if [ $accepted -eq 0 ]; then
    # Both clients start while the probes run.
    rm -f "$(client_log_path)"
    start_client winhttp
    start_client stand-in
  fi
  local probes=()
  for backend in winhttp compat stand-in; do
    probe $backend &
    probes+=($!)
  done
  wait "${probes[@]}"
  for backend in winhttp compat stand-in; do
    status=$(cat "$out-probe-$backend.status")
    error=$(sed -n 's/^velmor-probe: //p' "$out-probe-$backend.err" | tail -n 1)
    echo "$name|$backend|probe|$status|$error" >>"$MATRIX_WORK/matrix"
    if [ $accepted -eq 1 ]; then
      local over="WinHTTP"
      [ $backend = winhttp ] || over="the compatibility transport"
      e2e_check "$name, probe over $backend: connects over $over and exits 0 (got $status: $error)" \
        [ "$status:$error" = "0:connected to localhost over $over" ]
      e2e_check "$name, probe over $backend: the server's answer comes back" \
        grep -qF '"type":"users_list"' "$out-probe-$backend.out"
    else
      e2e_check "$name, probe over $backend: fails with 1 (got $status)" [ "$status" -eq 1 ]
      e2e_check "$name, probe over $backend: says '${expected[$backend]}' (got '$error')" \
        [ "$error" = "${expected[$backend]}" ]
    fi
  done

  if [ $accepted -eq 1 ]; then
    requests=$(e2e_control /requests)
    e2e_check "$name: the server received list_users from each probe" \
      [ "$(grep -cE '"user":"probe-(winhttp|compat|stand-in)","type":"list_users"' <<<"$requests")" -eq 3 ]
    # The clients share the stored name, so they take turns.
    for backend in winhttp stand-in; do
      e2e_control /reset >/dev/null
      rm -f "$(client_log_path)"
      start_client $backend
      e2e_check "$name, client over $backend: connects" e2e_wait_for_log "WS RX: connected" 180
      e2e_check "$name, client over $backend: the server receives its list_users" \
        e2e_wait_until 60 eval 'e2e_request_types "$client_name" | grep -x list_users >/dev/null'
      echo "$name|$backend|client|connected|" >>"$MATRIX_WORK/matrix"
      close_clients
    done
  else
    # Refused, then refused again on the retry a second later: the client
    # stays up and keeps its link closed.
    for backend in winhttp stand-in; do
      e2e_check "$name, client over $backend: logs '${expected[$backend]}' on two attempts" \
        e2e_wait_until 180 eval '[ "$(log_count "[WARN] ${expected[$backend]}")" -ge 2 ]'
      e2e_check "$name, client over $backend: still running" kill -0 "${client_pids[$backend]}"
    done
    requests=$(e2e_control /requests)
    e2e_check "$name: the server received nothing from the probes and clients (got: $requests)" [ -z "$requests" ]
    e2e_check "$name: nobody is connected" [ "$(e2e_control /users | tr -d '[] \n')" = "" ]
    for backend in winhttp stand-in; do
      echo "$name|$backend|client|$(log_count "[WARN] ${expected[$backend]}") refusals|${expected[$backend]}" \
        >>"$MATRIX_WORK/matrix"
    done
    close_clients
  fi
  exit $E2E_FAILED
}

if [ "${1:-}" = "--case" ]; then
  shift
  trap 'for pid in "${client_pids[@]}"; do kill "$pid" 2>/dev/null; done' EXIT
  run_case "$@"
fi

# --- the compatibility transport in the real client ------------------------------------

# The client picks the compatibility transport only where winhttp.dll lacks
# its WebSocket functions (Windows 7). Wine's winhttp.dll has them, so the
# client runs from a folder of its own beside a copy of that library whose
# export "WinHttpWebSocketCompleteUpgrade" is renamed (one letter, keeping the
# sorted order of the export names), loaded instead of the built-in one
# (winhttp=n). The copy drops Wine's built-in mark, else Wine would load its
# own library in its place.
make_stand_in() {  # dir
  mkdir -p "$1"
  cp "$VELMOR_CLIENT_EXE" "$VELMOR_PROBE_EXE" "$1/" || return 1
  python3 - "$WINEPREFIX/drive_c/windows/system32/winhttp.dll" "$1/winhttp.dll" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
def offset(rva):
    for s in range(pe + 24 + optional_size, pe + 24 + optional_size + 40 * sections, 40):
        size, address, raw_size, raw = struct.unpack_from("<IIII", data, s + 8)
        if address <= rva < address + max(size, raw_size):
            return rva - address + raw
    raise SystemExit("winhttp.dll: address %#x is in no section" % rva)
exports = offset(struct.unpack_from("<I", data, pe + 24 + 112)[0])  # PE32+ export directory
count, names = struct.unpack_from("<I", data, exports + 24)[0], offset(struct.unpack_from("<I", data, exports + 32)[0])
renamed = 0
for i in range(count):
    at = offset(struct.unpack_from("<I", data, names + 4 * i)[0])
    if data[at:data.index(b"\0", at)] == b"WinHttpWebSocketCompleteUpgrade":
        data[at + 30] = ord("X")
        renamed += 1
if renamed != 1 or data[0x40:0x50] != b"Wine builtin DLL":
    raise SystemExit("winhttp.dll is not Wine's library with the WebSocket functions")
data[0x40:0x50] = bytes(16)
open(sys.argv[2], "wb").write(data)
PY
}

# --- the matrix ----------------------------------------------------------------------

export VELMOR_PROBE_EXE=${1:?usage: certificate_matrix.sh PROBE_EXE [CASE...]}
shift
wanted=" $* "
[ -f "$VELMOR_PROBE_EXE" ] || { echo "FAIL: no probe at $VELMOR_PROBE_EXE" >&2; exit 1; }
[ -f "${VELMOR_CLIENT_EXE:-}" ] || { echo "FAIL: VELMOR_CLIENT_EXE names no client" >&2; exit 1; }
[ -s "$certs/ca.crt" ] && [ -s "$certs/ca.key" ] || { echo "FAIL: no local authority in $certs (run scripts/setup)" >&2; exit 1; }

# A display of its own: the clients' windows must not take the focus from
# programs on the test run's display.
e2e_start_session 1280x720 || exit 1
export MATRIX_WORK="$E2E_WORK/matrix"
mkdir -p "$MATRIX_WORK"
make_certificates "$E2E_WORK/certs" || { echo "FAIL: openssl could not make the certificates" >&2; exit 1; }
client_prefix_prepare "$client_name"
export MATRIX_STAND_IN="$E2E_WORK/stand-in"
make_stand_in "$MATRIX_STAND_IN" || { echo "FAIL: no stand-in winhttp.dll" >&2; exit 1; }

for row in "${cases[@]}"; do
  IFS='|' read -r name certificate winhttp compat <<<"$row"
  [ $# -eq 0 ] || [[ "$wanted" == *" $name "* ]] || continue
  echo "== $name ($SECONDS s)"
  "$e2e_root/scripts/lib/with_local_server.sh" --cert "$E2E_WORK/certs/$certificate" --key "$E2E_WORK/certs/leaf.key" \
    -- "$self" --case "$name" "$winhttp" "$compat" || E2E_FAILED=1
done

echo "== matrix after $SECONDS s (case | back-end | program | exit status or outcome | text)"
cat "$MATRIX_WORK/matrix"
exit $E2E_FAILED
