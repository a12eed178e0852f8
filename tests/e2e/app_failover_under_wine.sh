#!/usr/bin/env bash
# Failover in the whole program under Wine: cloakwall.exe in a Wine desktop
# with a tray, a list of 200 entries (two elite stand-in proxies, an
# anonymous one, a transparent one, silent ones and refusing addresses),
# "Test All Proxies" from the tray, curl browsing through the program to a
# local origin that logs who connects. The chosen elite proxy is killed: the
# program moves to the other elite one and says so in a balloon. That one is
# killed too: no proxy as good is left, the balloon says browsing stopped,
# and nothing goes direct (the origin never sees the program's address,
# 127.0.0.1; the stand-ins connect from 127.0.0.2 and up). Screenshots of
# both balloons go to the build tree (CW_BUILD/e2e-screenshots). Prints the time the test of 200
# entries took and the program's memory and threads during it.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_SOURCE_DIR:?}"
source "$CW_SOURCE_DIR/scripts/lib/cloakwall-wine.sh"
shots="${CW_BUILD:-$CW_SOURCE_DIR/build/host-release}/e2e-screenshots"
cw_e2e_begin curl python3 wine Xvfb import

# The origin: answers every GET and logs the address each request came from.
cat >"$WORK/origin.py" <<'PY'
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
log = sys.argv[2]
class H(BaseHTTPRequestHandler):
    def do_GET(self):
        with open(log, "a") as f:
            f.write("%s %s\n" % (self.client_address[0], self.path))
        body = b"hello from the origin\n"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), H).serve_forever()
PY
oport=$(free_port)
: >"$WORK/origin.log"
python3 "$WORK/origin.py" "$oport" "$WORK/origin.log" &
PEER_PIDS+=($!)
wait_port "$oport" || fail "the origin did not start"
# By name, which the stand-ins look up: the program sends a loopback
# address straight to it.
origin="http://localhost:$oport"

# One process per stand-in that gets killed; the rest share one.
standin() { # NAME KIND...
  local name=$1; shift
  python3 "$CW_SOURCE_DIR/tests/e2e/lib/standin_proxies.py" ${@/#/--kind } --port-file "$WORK/$name.port" \
    >"$WORK/$name.out" 2>&1 &
  PEER_PIDS+=($!)
  eval "${name}_pid=$!"
  for _ in $(seq 100); do [ -s "$WORK/$name.port" ] && break; sleep 0.1; done
  [ -s "$WORK/$name.port" ] || fail "stand-in $name did not start"
}
standin eliteA plain
standin eliteB plain
kinds=(via xff)
for _ in $(seq 40); do kinds+=(silent); done
standin others "${kinds[@]}"
eliteA="127.0.0.1:$(awk '{print $2}' "$WORK/eliteA.port")"
eliteB="127.0.0.1:$(awk '{print $2}' "$WORK/eliteB.port")"

vport=$(free_port)
{
  printf '%s Elite A\r\n%s Elite B\r\n' "$eliteA" "$eliteB"
  awk '{ printf "127.0.0.1:%s %s\r\n", $2, $1 }' "$WORK/others.port"
  for i in $(seq 1 156); do printf '127.0.1.%d:9\r\n' "$i"; done
} >"$WORK/list.txt"
[ "$(wc -l <"$WORK/list.txt")" = 200 ] || fail "the list has $(wc -l <"$WORK/list.txt") entries, not 200"
cw_start_vendor "$vport" "$WORK/list.txt" "$WORK/vendor.log"
PEER_PIDS+=("$CW_VENDOR_PID")
wait_port "$vport" || fail "the vendor stand-in did not start"

unset DISPLAY
cw_fresh_install "$win/failover-e2e-wineprefix" "$win/app/cloakwall.exe" "127.0.0.1:$vport" ||
  fail "127.0.0.1:8080 is taken before the program starts"
cw_reg_dword UseProxy 1
cw_reg_sz ProxyName "$eliteA Elite A"
cp "$WORK/list.txt" "$CW_APP_DIR/proxylist.txt"
rm -f "$CW_APP_DIR/proxytest.ini"

# Programs find each other's windows only on the same desktop.
in_desktop() {
  local exe=$1; shift
  wine explorer /desktop=shell,800x600 "$(winepath -w "$exe")" "$@" 2>/dev/null
}
stored_proxy() {
  wine reg query 'HKLM\Software\Cloakwall' /v ProxyName 2>/dev/null | sed -n 's/.*REG_SZ[[:space:]]*//p' | tr -d '\r'
}
through_program() { # the HTTP status curl got through the program
  curl --silent --max-time 10 --noproxy '' -o /dev/null -w '%{http_code}' -x http://127.0.0.1:8080 "$origin/$1" || true
}
# The program itself, not the desktop process started with its path.
program_pid() {
  local p
  for p in $(cw_program_pids); do [ "$(cat "/proc/$p/comm" 2>/dev/null)" = cloakwall.exe ] && echo "$p"; done
}
shot() {
  mkdir -p "$shots"
  import -window root -crop 800x600+0+0 "$shots/$1"
}

wine explorer /desktop=shell,800x600 'C:\Program Files\Cloakwall\cloakwall.exe' >/dev/null 2>&1 &
wait_port 8080 || fail "the local proxy never listened on 127.0.0.1:8080"
pid=
for _ in $(seq 50); do pid=$(program_pid); [ -n "$pid" ] && break; sleep 0.1; done
[ "$(echo "$pid" | wc -w)" = 1 ] || fail "expected one cloakwall.exe, found: $pid"
[ "$(through_program first)" = 200 ] || fail "curl did not get through the program to the origin"
pass "stored elite proxy switched on; curl browses through it"

# Test All Proxies from the tray, watched from outside.
sleep 1
mem_before=$(cw_private_kb "$pid")
threads_before=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")
t0=$(date +%s%N)
in_desktop "$win/tests/app/cw_tray_menu.exe" testall
mem_max=0 threads_max=0 status=
for _ in $(seq 400); do
  m=$(cw_private_kb "$pid"); [ "$m" -gt "$mem_max" ] && mem_max=$m
  t=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status"); [ "$t" -gt "$threads_max" ] && threads_max=$t
  status=$(in_desktop "$win/tests/app/cw_tray_menu.exe" status | tr -d '\r')
  case "$status" in "Tested 200 of 200"*) break ;; esac
  sleep 0.25
done
t1=$(date +%s%N)
case "$status" in "Tested 200 of 200:"*) ;; *) fail "Test All Proxies did not finish: $status" ;; esac
# The results file is written off the window's thread: it follows the status line.
for _ in $(seq 50); do
  grep -q "\"127.0.0.1:${eliteB##*:}\", elite" "$CW_APP_DIR/proxytest.ini" 2>/dev/null && break
  sleep 0.1
done
grep -q "\"127.0.0.1:${eliteA##*:}\", elite" "$CW_APP_DIR/proxytest.ini" || fail "elite A not stored as elite"
grep -q "\"127.0.0.1:${eliteB##*:}\", elite" "$CW_APP_DIR/proxytest.ini" || fail "elite B not stored as elite"
pass "Test All Proxies over 200 entries from the tray: $status"

# The chosen proxy goes away while curl browses: three refusals, then the
# other elite proxy.
kill "$eliteA_pid"
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/${eliteA##*:}") 2>/dev/null || break; sleep 0.1; done
for i in 1 2 3 4; do through_program "a$i" >/dev/null; done
for _ in $(seq 50); do [ "$(stored_proxy)" = "$eliteB Elite B" ] && break; sleep 0.2; done
[ "$(stored_proxy)" = "$eliteB Elite B" ] || fail "ProxyName after the failover: $(stored_proxy)"
# Wine's tray shows a balloon a moment after it was asked for.
sleep 3
shot failover-balloon.png
[ "$(through_program after-failover)" = 200 ] || fail "curl does not get through after the failover"
pass "elite A killed: the program moved to elite B ($eliteB) and browsing goes on"

# The other elite one goes too: only worse ones are left, so browsing stops.
kill "$eliteB_pid"
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/${eliteB##*:}") 2>/dev/null || break; sleep 0.1; done
lines_before=$(wc -l <"$WORK/origin.log")
codes=
for i in 1 2 3 4 5 6; do codes+="$(through_program "b$i") "; sleep 0.2; done
sleep 3
shot stopped-balloon.png
case "$codes" in *200*) fail "a request got an answer with no good proxy left: $codes" ;; esac
[ "$(stored_proxy)" = "$eliteB Elite B" ] || fail "ProxyName changed with no good proxy left: $(stored_proxy)"
[ "$(wc -l <"$WORK/origin.log")" = "$lines_before" ] || fail "the origin was reached with no good proxy left"
grep -q '^127\.0\.0\.1 ' "$WORK/origin.log" && fail "the origin saw the program's own address: $(grep '^127\.0\.0\.1 ' "$WORK/origin.log" | head -1)"
pass "elite B killed too: browsing stopped ($codes), nothing reached the origin, never directly"

in_desktop "$win/tests/app/cw_tray_menu.exe" exit >/dev/null || fail "could not drive the tray menu"
for _ in $(seq 200); do [ -z "$(program_pid)" ] && break; sleep 0.1; done
[ -z "$(program_pid)" ] || fail "Exit from the tray menu did not end the program"
pass "Exit from the tray menu"

echo "measured: Test All Proxies, 200 entries: $(( (t1 - t0) / 1000000 )) ms;" \
     "private memory ${mem_before} kB before, ${mem_max} kB at most during it;" \
     "threads ${threads_before} before, ${threads_max} at most during it"
