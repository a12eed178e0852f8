#!/usr/bin/env bash
# The whole program under Wine, as a user runs it: cloakwall.exe installed in
# a prefix of its own with a stored upstream proxy (a real tinyproxy), curl as
# the browser through 127.0.0.1:8080 to a local nginx origin with the script
# filter on and then off as stored, a second start, Exit from the tray menu,
# and a new start after a kill. Prints the start-up time to a listening proxy
# and the program's private memory after start-up and after 1,000 requests.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_SOURCE_DIR:?}"
source "$CW_SOURCE_DIR/scripts/lib/cloakwall-wine.sh"
cw_e2e_begin curl nginx tinyproxy python3 wine Xvfb xwininfo

curl_opts=(--silent --show-error --max-time 20 --noproxy '')
origin_port=$(free_port)
mkdir -p "$WORK/www"
printf '<html><script src="a.js"></script><object data="x"></object></html>\n' >"$WORK/www/page.html"
start_nginx "$origin_port" "$WORK/www"
# By name, which tinyproxy looks up: the program sends a loopback address
# straight to it.
origin="http://localhost:$origin_port"

tport=$(free_port)
cw_start_tinyproxy "$tport" "$WORK/tinyproxy"
PEER_PIDS+=("$CW_TINYPROXY_PID")
wait_port "$tport" || fail "tinyproxy did not start"
vport=$(free_port)
printf '127.0.0.1:%s\r\n' "$tport" >"$WORK/list.txt"
cw_start_vendor "$vport" "$WORK/list.txt" "$WORK/vendor.log"
PEER_PIDS+=("$CW_VENDOR_PID")
wait_port "$vport" || fail "the vendor stand-in did not start"

cw_fresh_install "$win/app-e2e-wineprefix" "$win/app/cloakwall.exe" "127.0.0.1:$vport" ||
  fail "127.0.0.1:8080 is taken before the program starts"
cw_reg_dword UseProxy 1
cw_reg_sz ProxyName "127.0.0.1:$tport"
cw_reg_dword EnableJS 1
cw_reg_dword EnableActiveX 0
printf '127.0.0.1:%s\r\r\n' "$tport" >"$CW_APP_DIR/proxylist.txt"
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null 2>&1

wait_gone() { # seconds: until no cloakwall.exe runs
  for _ in $(seq $(($1 * 10))); do [ -z "$(cw_program_pids)" ] && return 0; sleep 0.1; done
  return 1
}
start_program() {
  wine "$CW_APP_EXE" >/dev/null 2>&1 &
  disown
}

# Start-up to a listening proxy, the script filter on (EnableJS 1 switches
# the script rules on).
t0=$(date +%s%N)
start_program
wait_port 8080 || fail "the local proxy never listened on 127.0.0.1:8080"
t1=$(date +%s%N)
pid=$(cw_program_pids)
[ "$(echo "$pid" | wc -w)" = 1 ] || fail "expected one cloakwall.exe, found: $pid"
sleep 1
mem_start=$(cw_private_kb "$pid")
got=$(curl "${curl_opts[@]}" -x http://127.0.0.1:8080 "$origin/page.html")
# The renamed tags are longer than the originals: the page must still arrive
# whole, re-framed by the proxy.
[ "$got" = '<html><noscript src="a.js"></noscript> <object data="x"></object></html>' ] || fail "filter on: got $got"
grep -q "page.html" "$WORK/tinyproxy/tinyproxy.log" || fail "the request did not pass through tinyproxy"
[ "$(cw_internet_setting ProxyEnable)" = 1 ] || fail "the browser does not point at the local proxy"
pass "stored proxy switched on at start-up; curl reaches the origin through tinyproxy, scripts renamed"

# A second start ends by itself and brings the first window up.
wine "$CW_APP_EXE" >/dev/null 2>&1
[ "$(cw_program_pids)" = "$pid" ] || fail "after a second start: $(cw_program_pids) instead of $pid"
xwininfo -name "Cloakwall" | grep -q "Map State: IsViewable" || fail "the first instance's window was not raised"
pass "a second start leaves one process and raises the first window"

# 1,000 requests, four at a time.
ok=$(seq 1000 | xargs -P 4 -I{} curl "${curl_opts[@]}" -o /dev/null -w '%{http_code}\n' -x http://127.0.0.1:8080 "$origin/page.html" | grep -c '^200$' || true)
[ "$ok" = 1000 ] || fail "only $ok of 1000 requests through the program answered 200"
sleep 1
mem_after=$(cw_private_kb "$pid")
pass "1,000 requests through the program"

# Exit from the tray menu.
wine "$win/tests/app/cw_tray_menu.exe" exit >/dev/null 2>&1 || fail "could not drive the tray menu"
wait_gone 20 || fail "Exit from the tray menu did not end the program"
[ "$(cw_internet_setting ProxyEnable)" = 0 ] || fail "after Exit the browser still points at a proxy"
(exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null && fail "8080 still listens after Exit"
pass "Exit from the tray menu ends the process, browser direct"

# The filter off as stored.
cw_reg_dword EnableJS 0
start_program
wait_port 8080 || fail "the local proxy never listened on 127.0.0.1:8080"
got=$(curl "${curl_opts[@]}" -x http://127.0.0.1:8080 "$origin/page.html")
cmp -s <(printf '%s\n' "$got") "$WORK/www/page.html" || fail "filter off: got $got"
pass "script filter off as stored: the page passes unchanged"

# Killed, then started again: a first instance once more.
kill -9 $(cw_program_pids)
wait_gone 10 || fail "the killed program is still there"
for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null || break; sleep 0.1; done
start_program
wait_port 8080 || fail "the local proxy never listened on 127.0.0.1:8080"
[ "$(echo "$(cw_program_pids)" | wc -w)" = 1 ] || fail "not one process after the restart"
wine "$win/tests/app/cw_tray_menu.exe" exit >/dev/null 2>&1 || fail "could not drive the tray menu"
wait_gone 20 || fail "Exit did not end the restarted program"
pass "a new start after a kill is a first instance"

echo "measured: start-up to a listening proxy $(( (t1 - t0) / 1000000 )) ms;" \
     "private memory after start-up ${mem_start} kB, after 1,000 requests ${mem_after} kB"
