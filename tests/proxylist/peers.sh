#!/usr/bin/env bash
# Starts and stops the real network peers of the proxy-list tests on the
# Linux side, on loopback ports of their own: the vendor-server stand-in
# (tools/vendor-server.py) and a tinyproxy upstream proxy in front of it.
# Wine programs reach both on 127.0.0.1. The test reads the ports from
# STATE_DIR/vendor.port and STATE_DIR/tinyproxy.port. Beside them, the
# stand-in proxies of every kind (tests/e2e/lib/standin_proxies.py): one of
# each first, then the batch's many, then one that wants an account, listed
# as "kind port" lines in STATE_DIR/standins.port, their requests in
# STATE_DIR/standins.log; the stand-in judges of the public judges'
# styles and the front before the vendor's judge
# (tests/e2e/lib/standin_judges.py), as "style port" lines in
# STATE_DIR/judges.port; and two microsocks SOCKS5 servers, one without and
# one with an account (user "cwuser", password "cwpass"), connecting onwards
# from 127.0.0.2 like the stand-ins: STATE_DIR/microsocks.port and
# STATE_DIR/microsocks_account.port.
# Usage: peers.sh start|stop STATE_DIR SOURCE_DIR
set -euo pipefail
action=$1 state=$2 src=${3:-}
source "$(dirname "$0")/../support/ports.sh"

stop_peers() {
  for name in microsocks microsocks_account tls judges standins tinyproxy vendor; do
    if [ -f "$state/$name.pid" ]; then
      pid=$(cat "$state/$name.pid")
      kill "$pid" 2>/dev/null || true
      # Gone, or only a zombie waiting for whoever adopted it to reap it.
      for _ in $(seq 50); do
        pstat=$(ps -o stat= -p "$pid" 2>/dev/null || true)
        case "$pstat" in ''|Z*) break ;; esac
        sleep 0.1
      done
      rm -f "$state/$name.pid"
    fi
  done
}

case "$action" in
start)
  stop_peers 2>/dev/null || true
  mkdir -p "$state"
  rm -f "$state"/*.port "$state"/*.log
  printf '127.0.0.1:3128\r\n10.0.0.1:8080 Fast anonymous\r\n192.168.1.1:80' > "$state/proxylist.txt"

  setsid python3 "$src/tools/vendor-server.py" --port 0 --list "$state/proxylist.txt" \
      --port-file "$state/vendor.port" --log "$state/vendor.log" >"$state/vendor.out" 2>&1 &
  echo $! > "$state/vendor.pid"
  for _ in $(seq 100); do [ -s "$state/vendor.port" ] && break; sleep 0.1; done
  [ -s "$state/vendor.port" ] || { echo "peers: vendor-server did not start"; cat "$state/vendor.out"; exit 1; }

  tport=$(free_port)
  # No filters, no upstream: plain forwarding for loopback clients only.
  cat > "$state/tinyproxy.conf" <<CONF
Port $tport
Listen 127.0.0.1
Allow 127.0.0.1
Timeout 30
MaxClients 20
LogFile "$state/tinyproxy.log"
LogLevel Info
ViaProxyName "tinyproxy"
CONF
  setsid tinyproxy -d -c "$state/tinyproxy.conf" >"$state/tinyproxy.out" 2>&1 &
  echo $! > "$state/tinyproxy.pid"
  wait_port "$tport" || { echo "peers: tinyproxy did not start"; cat "$state/tinyproxy.out"; exit 1; }
  echo "$tport" > "$state/tinyproxy.port"

  kinds=(xff via plain inject silent slow)
  for _ in $(seq 15); do kinds+=(plain via xff inject); done
  for _ in $(seq 10); do kinds+=(slow); done
  for _ in $(seq 40); do kinds+=(silent); done
  for _ in $(seq 10); do kinds+=(unaccepted); done
  kinds+=(account)
  setsid python3 "$src/tests/e2e/lib/standin_proxies.py" ${kinds[@]/#/--kind } \
      --port-file "$state/standins.port" --log "$state/standins.log" >"$state/standins.out" 2>&1 &
  echo $! > "$state/standins.pid"
  for _ in $(seq 100); do [ -s "$state/standins.port" ] && break; sleep 0.1; done
  [ -s "$state/standins.port" ] || { echo "peers: stand-in proxies did not start"; cat "$state/standins.out"; exit 1; }
  setsid python3 "$src/tests/e2e/lib/standin_judges.py" --vendor-port "$(cat "$state/vendor.port")" \
      --port-file "$state/judges.port" >"$state/judges.out" 2>&1 &
  echo $! > "$state/judges.pid"
  for _ in $(seq 100); do [ -s "$state/judges.port" ] && break; sleep 0.1; done
  [ -s "$state/judges.port" ] || { echo "peers: stand-in judges did not start"; cat "$state/judges.out"; exit 1; }
  # The HTTPS stand-ins, with the test CA they make in STATE_DIR/tls:
  # "kind port" lines in STATE_DIR/tls.port.
  rm -rf "$state/tls"
  setsid python3 "$src/tests/e2e/lib/standin_tls.py" --cert-dir "$state/tls" \
      --port-file "$state/tls.port" >"$state/tls.out" 2>&1 &
  echo $! > "$state/tls.pid"
  for _ in $(seq 200); do [ -s "$state/tls.port" ] && break; sleep 0.1; done
  [ -s "$state/tls.port" ] || { echo "peers: HTTPS stand-ins did not start"; cat "$state/tls.out"; exit 1; }
  mport=$(free_port)
  setsid microsocks -i 127.0.0.1 -p "$mport" -b 127.0.0.2 >"$state/microsocks.out" 2>&1 &
  echo $! > "$state/microsocks.pid"
  wait_port "$mport" || { echo "peers: microsocks did not start"; cat "$state/microsocks.out"; exit 1; }
  echo "$mport" > "$state/microsocks.port"
  maport=$(free_port)
  setsid microsocks -i 127.0.0.1 -p "$maport" -b 127.0.0.2 -u cwuser -P cwpass >"$state/microsocks_account.out" 2>&1 &
  echo $! > "$state/microsocks_account.pid"
  wait_port "$maport" || { echo "peers: microsocks (account) did not start"; cat "$state/microsocks_account.out"; exit 1; }
  echo "$maport" > "$state/microsocks_account.port"
  echo "peers: vendor-server on $(cat "$state/vendor.port"), tinyproxy on $tport"
  ;;
stop)
  stop_peers
  ;;
*)
  echo "usage: $0 start|stop STATE_DIR SOURCE_DIR" >&2
  exit 2
  ;;
esac
