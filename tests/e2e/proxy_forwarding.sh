#!/usr/bin/env bash
# proxy-harness with curl as the browser, on loopback: direct to a local
# origin, through tinyproxy and privoxy as the upstream, a CONNECT tunnel
# through tinyproxy, an upstream that asks for an account, the script and
# object filters, a taken port, and a clean stop on SIGTERM.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_BUILD:?CW_BUILD must name a host build folder}"
require_tools curl nginx tinyproxy privoxy python3
peers_init

origin_port=$(free_port)
mkdir -p "$WORK/www"
printf '<html><script src="a.js"></script><object data="x"></object><OBJECT></OBJECT></html>\n' >"$WORK/www/page.html"
head -c 300000 /dev/urandom >"$WORK/www/blob.bin"
start_nginx "$origin_port" "$WORK/www"
origin="http://127.0.0.1:$origin_port"
# Through an upstream the origin goes by name, which the upstream looks up:
# the proxy itself sends a loopback address straight to it.
named_origin="http://localhost:$origin_port"
curl_opts=(--silent --show-error --max-time 30 --noproxy '')

# Direct: each request goes where its Host header points.
start_harness
direct=$HARNESS_PORT
curl "${curl_opts[@]}" -x "http://127.0.0.1:$direct" "$origin/page.html" -o "$WORK/direct.html"
cmp -s "$WORK/direct.html" "$WORK/www/page.html" || fail "direct: page changed with the filters off"
curl "${curl_opts[@]}" -x "http://127.0.0.1:$direct" "$origin/blob.bin" -o "$WORK/blob.direct"
cmp -s "$WORK/blob.direct" "$WORK/www/blob.bin" || fail "direct: binary file changed"
code=$(curl "${curl_opts[@]}" -o /dev/null -w '%{http_code}' -x "http://127.0.0.1:$direct" "$origin/missing")
[ "$code" = 404 ] || fail "direct: expected the origin's 404, got $code"
pass "direct to the origin"

# A header sent without a blank after its colon arrives with its value whole;
# the echo server answers with the head it received.
echo_port=$(free_port)
python3 - "$echo_port" >"$WORK/echo.log" 2>&1 <<'PY' &
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(5)
while True:
    c, _ = s.accept(); data = b""
    while b"\r\n\r\n" not in data:
        d = c.recv(4096)
        if not d: break
        data += d
    if data: c.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + data)
    c.close()
PY
PEER_PIDS+=($!)
wait_port "$echo_port" || fail "nothing listens on 127.0.0.1:$echo_port"
curl "${curl_opts[@]}" -x "http://127.0.0.1:$direct" -H 'X-Probe:text/html' -H "Cookie: c=$(head -c 3000 /dev/zero | tr '\0' c)" \
  "http://127.0.0.1:$echo_port/echo" -o "$WORK/echo.out"
grep -q $'^X-Probe: text/html\r$' "$WORK/echo.out" || fail "header value lost its first character"
grep -q $'^Cookie: c=c\{3000\}\r$' "$WORK/echo.out" || fail "a head over 1024 bytes did not arrive whole"
pass "header values and long heads"

# Through a real upstream proxy: tinyproxy, allowing CONNECT to the origin's port.
tiny_port=$(free_port)
start_tinyproxy "$tiny_port" "$origin_port"
start_harness --upstream "127.0.0.1:$tiny_port"
via_tiny=$HARNESS_PORT
curl "${curl_opts[@]}" -x "http://127.0.0.1:$via_tiny" "$named_origin/blob.bin" -o "$WORK/blob.tiny"
cmp -s "$WORK/blob.tiny" "$WORK/www/blob.bin" || fail "through tinyproxy: file changed"
pass "through tinyproxy"

# CONNECT: curl asks for a tunnel, tinyproxy opens it, the relays carry it.
curl "${curl_opts[@]}" --proxytunnel -x "http://127.0.0.1:$via_tiny" "$named_origin/blob.bin" -o "$WORK/blob.tunnel"
cmp -s "$WORK/blob.tunnel" "$WORK/www/blob.bin" || fail "CONNECT tunnel: file changed"
pass "CONNECT tunnel through tinyproxy"

# privoxy as the upstream.
privoxy_port=$(free_port)
start_privoxy "$privoxy_port"
start_harness --upstream "127.0.0.1:$privoxy_port"
curl "${curl_opts[@]}" -x "http://127.0.0.1:$HARNESS_PORT" "$named_origin/page.html" -o "$WORK/privoxy.html"
cmp -s "$WORK/privoxy.html" "$WORK/www/page.html" || fail "through privoxy: page changed"
pass "through privoxy"

# An upstream that wants an account: refused without one, served with one
# long enough that its Base64 would wrap.
auth_port=$(free_port)
long_user=user-with-a-rather-long-name-for-the-upstream-account
start_tinyproxy "$auth_port" "" "$long_user" secret
start_harness --upstream "127.0.0.1:$auth_port"
code=$(curl "${curl_opts[@]}" -o /dev/null -w '%{http_code}' -x "http://127.0.0.1:$HARNESS_PORT" "$named_origin/page.html")
[ "$code" = 407 ] || fail "upstream without account: expected 407, got $code"
start_harness --upstream "127.0.0.1:$auth_port" --user "$long_user" --password secret
code=$(curl "${curl_opts[@]}" -o /dev/null -w '%{http_code}' -x "http://127.0.0.1:$HARNESS_PORT" "$named_origin/page.html")
[ "$code" = 200 ] || fail "upstream with account: expected 200, got $code"
pass "Proxy-Authorization accepted by tinyproxy"

# Filters: the page arrives with its tags renamed, re-framed so that curl
# (HTTP/1.1) reads exactly the longer page; an HTTP/1.0 client gets it ended
# by the close.
start_harness --script-filter
curl "${curl_opts[@]}" -x "http://127.0.0.1:$HARNESS_PORT" "$origin/page.html" -o "$WORK/script.html"
expected='<html><noscript src="a.js"></noscript> <object data="x"></object><OBJECT></OBJECT></html>'
[ "$(cat "$WORK/script.html")" = "$expected" ] || fail "script filter: got $(cat "$WORK/script.html")"
curl "${curl_opts[@]}" --http1.0 -x "http://127.0.0.1:$HARNESS_PORT" "$origin/page.html" -o "$WORK/script10.html"
[ "$(cat "$WORK/script10.html")" = "$expected" ] || fail "script filter, HTTP/1.0: got $(cat "$WORK/script10.html")"
start_harness --script-filter --object-filter
curl "${curl_opts[@]}" -x "http://127.0.0.1:$HARNESS_PORT" "$origin/page.html" -o "$WORK/both.html"
expected='<html><noscript src="a.js"></noscript> <noobj  data="x"></noobj> <noobj ></noobj> </html>'
[ "$(cat "$WORK/both.html")" = "$expected" ] || fail "both filters: got $(cat "$WORK/both.html")"
pass "script and object filters"

# A taken port: a clear message and a non-zero exit.
set +e
msg=$("$CW_BUILD/tools/proxy-harness" --port "$origin_port" 2>&1 </dev/null)
rc=$?
set -e
[ "$rc" -ne 0 ] || fail "harness on a taken port exited 0"
echo "$msg" | grep -q "cannot listen on 127.0.0.1:$origin_port" || fail "unclear message: $msg"
pass "taken port reported ($msg)"

# SIGTERM: the harness stops and exits 0, and the port is free again.
start_harness
pid=$HARNESS_PID port=$HARNESS_PORT
kill -TERM "$pid"
rc=0; wait "$pid" || rc=$?
[ "$rc" -eq 0 ] || fail "harness exit code after SIGTERM: $rc"
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then fail "port still open after stop"; fi
pass "clean stop on SIGTERM"
