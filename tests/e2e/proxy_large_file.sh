#!/usr/bin/env bash
# A 100 MB file through proxy-harness with the filters off arrives
# byte-identical, directly and through tinyproxy; tags inside it included.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_BUILD:?CW_BUILD must name a host build folder}"
require_tools curl nginx tinyproxy sha256sum
peers_init

mkdir -p "$WORK/www"
# Random bytes with script and object tags sprinkled in: none may change.
{
  head -c 50M /dev/urandom
  printf '<script>x</script><object></object>%.0s' $(seq 1000)
  head -c 50M /dev/urandom
} >"$WORK/www/big.bin"
want=$(sha256sum <"$WORK/www/big.bin" | cut -d' ' -f1)

origin_port=$(free_port)
start_nginx "$origin_port" "$WORK/www"
tiny_port=$(free_port)
start_tinyproxy "$tiny_port"
url="http://127.0.0.1:$origin_port/big.bin"
curl_opts=(--silent --show-error --max-time 120 --noproxy '')

start_harness
got=$(curl "${curl_opts[@]}" -x "http://127.0.0.1:$HARNESS_PORT" "$url" | sha256sum | cut -d' ' -f1)
[ "$got" = "$want" ] || fail "direct: sha256 $got, expected $want"
pass "100 MB file direct, sha256 identical"

# By name, which tinyproxy looks up: the proxy sends a loopback address
# straight to it.
start_harness --upstream "127.0.0.1:$tiny_port"
got=$(curl "${curl_opts[@]}" -x "http://127.0.0.1:$HARNESS_PORT" "${url/127.0.0.1/localhost}" | sha256sum | cut -d' ' -f1)
[ "$got" = "$want" ] || fail "through tinyproxy: sha256 $got, expected $want"
pass "100 MB file through tinyproxy, sha256 identical"
