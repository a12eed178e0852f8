#!/usr/bin/env bash
# 1,000 kept-alive browser connections at once through the proxy built for
# Windows, under Wine as the program runs: every connection gets its first
# answer, then all 1,000 send a second request together and every one is
# answered; once they close, the proxy's sockets and threads come back to
# what it had before. Peers (nginx, the clients) run natively on loopback.
# Usage: proxy_wine_scale.sh WINDOWS_BUILD_DIR   (inside scripts/wine-session)
set -euo pipefail
source "$(dirname "$0")/../lib/peers.sh"
[ $# -ge 1 ] || { echo "usage: $0 WINDOWS_BUILD_DIR" >&2; exit 2; }
win_build=$(cd "$1" && pwd)
require_tools nginx python3 wine
peers_init
COUNT=1000

mkdir -p "$WORK/www"
head -c 1024 /dev/urandom >"$WORK/www/1k.bin"
origin_port=$(free_port)
start_nginx "$origin_port" "$WORK/www"
open_harness_stdin
start_wine_harness "$win_build" --stats-on-stdin
harness_stats
sockets_before=$STAT_sockets threads_before=$STAT_threads
echo "before: sockets=$sockets_before threads=$threads_before"

start_holder "$HARNESS_PORT" "127.0.0.1:$origin_port" /1k.bin "$COUNT" kept --until-failure --rounds 2
holder_result 1800 || fail "the clients gave no result: $(cat "$HOLDER_OUT")"
harness_stats
echo "holding: held=$HELD answered=$ANSWERED sockets=$STAT_sockets threads=$STAT_threads"
[ "$HELD" = "$COUNT" ] && [ "$ANSWERED" = "$COUNT" ] || fail "$COUNT connections at once: held $HELD, answered again $ANSWERED; $(grep -v '^held=' "$HOLDER_OUT" | head -5)"
pass "$COUNT kept-alive connections held at once under Wine, each answered twice"

release_holder
for _ in $(seq 120); do
  harness_stats
  [ "$STAT_sockets" -le "$sockets_before" ] && [ "$STAT_threads" -le "$threads_before" ] && break
  sleep 0.5
done
echo "after: sockets=$STAT_sockets threads=$STAT_threads"
[ "$STAT_sockets" -eq "$sockets_before" ] || fail "the proxy holds $STAT_sockets sockets, had $sockets_before"
[ "$STAT_threads" -le "$threads_before" ] || fail "the harness runs $STAT_threads threads, had $threads_before"
pass "every socket and thread came back"
