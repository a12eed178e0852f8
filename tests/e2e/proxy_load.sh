#!/usr/bin/env bash
# Load run: 10,000 requests at 200 concurrent connections through
# proxy-harness (wrk, every request on a new connection), with 0 errors; then
# the harness must hold no more threads and sockets than before the run.
# Bounded: wrk stops after the count or after 90 s, whichever comes first.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_BUILD:?CW_BUILD must name a host build folder}"
require_tools wrk nginx
peers_init

mkdir -p "$WORK/www"
head -c 1024 /dev/urandom | base64 -w 64 | head -c 1024 >"$WORK/www/1k.html"
origin_port=$(free_port)
start_nginx "$origin_port" "$WORK/www"
start_harness
pid=$HARNESS_PID

threads_of() { ls "/proc/$1/task" | wc -l; }
sockets_of() { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 -lname 'socket:*' 2>/dev/null | wc -l; }
fds_of() { ls "/proc/$1/fd" | wc -l; }

threads_before=$(threads_of "$pid")
sockets_before=$(sockets_of "$pid")
fds_before=$(fds_of "$pid")
echo "before: threads=$threads_before sockets=$sockets_before fds=$fds_before"

result=$(CW_ORIGIN="127.0.0.1:$origin_port" CW_PATH=/1k.html CW_REQUESTS=10000 \
  wrk -t 1 -c 200 -d 90s --timeout 10s -s "$(dirname "$0")/lib/count_requests.lua" \
  "http://127.0.0.1:$HARNESS_PORT/" 2>&1)
echo "$result" | grep -E 'requests=|Requests/sec|Non-2xx' || true
line=$(echo "$result" | grep '^requests=') || fail "wrk printed no summary: $result"
eval "$(echo "$line" | tr ' ' '\n' | sed 's/^/w_/')"
[ "$w_requests" -ge 10000 ] || fail "only $w_requests requests answered"
errors=$((w_connect + w_read + w_write + w_status + w_timeout))
[ "$errors" -eq 0 ] || fail "wrk reported $errors errors: $line"
pass "$w_requests requests at 200 connections, 0 errors"

# Relays end as their connections close, and idle pool threads a few
# seconds later; give them a bounded moment.
for _ in $(seq 200); do
  t=$(threads_of "$pid"); s=$(sockets_of "$pid"); f=$(fds_of "$pid")
  [ "$t" -le "$threads_before" ] && [ "$s" -le "$sockets_before" ] && [ "$f" -le "$fds_before" ] && break
  sleep 0.1
done
echo "after:  threads=$t sockets=$s fds=$f"
[ "$t" -le "$threads_before" ] || fail "harness holds $t threads, had $threads_before"
[ "$s" -le "$sockets_before" ] || fail "harness holds $s sockets, had $sockets_before"
[ "$f" -le "$fds_before" ] || fail "harness holds $f descriptors, had $fds_before"
pass "no threads or sockets left behind"
