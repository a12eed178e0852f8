#!/usr/bin/env bash
# Clients that connect and send nothing must not lock everybody else out:
# with the harness at a 1,024-descriptor limit, 1,100 silent connections
# take every descriptor it has; once the wait bound for a request head (1 s
# here) has passed, they are closed and a new client is served.
# Bounded: the new client waits at most 30 s for its answer.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_BUILD:?CW_BUILD must name a host build folder}"
require_tools nginx curl python3
peers_init

mkdir -p "$WORK/www"
echo "served" >"$WORK/www/page.html"
origin_port=$(free_port)
start_nginx "$origin_port" "$WORK/www"
HARNESS_NOFILE=1024 start_harness --head-wait-ms 1000
[ "$(awk '/^Max open files/ { print $4 }' "/proc/$HARNESS_PID/limits")" = 1024 ] || fail "descriptor limit not applied"

start_holder "$HARNESS_PORT" "127.0.0.1:$origin_port" /page.html 1100 fresh
holder_result 300 || fail "the holder gave no result: $(cat "$HOLDER_OUT")"
[ "$HELD" = 1100 ] || fail "could not open 1,100 connections: $(cat "$HOLDER_OUT")"
pass "1,100 silent connections open against a 1,024-descriptor limit"

answer=$(curl --silent --max-time 30 -x "http://127.0.0.1:$HARNESS_PORT" "http://127.0.0.1:$origin_port/page.html") \
  || fail "a new client got no answer while the silent ones were held"
[ "$answer" = served ] || fail "a new client got '$answer'"
pass "a new client is served once the silent ones pass the wait bound"

release_holder
