# Shared by the proxy's end-to-end scripts and the benchmark: start loopback
# peers (nginx origin, tinyproxy, privoxy, proxy-harness) with configs in a
# temporary folder, wait for them, and stop every one of them on exit.
# Everything listens on 127.0.0.1 only.
#
# Source it, then call peers_init once; it sets WORK (the temp folder) and a
# trap that stops every process started through these functions.

source "$(dirname "${BASH_SOURCE[0]}")/../../support/ports.sh"

PEER_PIDS=()

peers_init() {
  WORK=$(mktemp -d /tmp/cw-proxy-e2e.XXXXXX)
  # nginx's workers run as nobody and must read the served files.
  chmod 755 "$WORK"
  trap peers_cleanup EXIT
  trap 'exit 130' INT TERM
}

peers_cleanup() {
  local pid
  for pid in "${PEER_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PEER_PIDS[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  [ -n "${WORK:-}" ] && rm -rf "$WORK"
}

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# start_nginx PORT ROOT: a static origin serving ROOT.
start_nginx() {
  local port=$1 root=$2 dir="$WORK/nginx-$1"
  mkdir -p "$dir"
  cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  sendfile on;
  keepalive_requests 100000;
  default_type text/html;
  server {
    listen 127.0.0.1:$port;
    root $root;
  }
}
CONF
  nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -g 'daemon off;' &
  PEER_PIDS+=($!)
  wait_port "$port" || fail "nothing listens on 127.0.0.1:$port"
}

# start_tinyproxy PORT [CONNECT_PORT] [USER PASSWORD]: an upstream proxy that
# allows CONNECT to CONNECT_PORT and, given an account, asks for it.
start_tinyproxy() {
  local port=$1 connect_port=${2:-} user=${3:-} password=${4:-} dir="$WORK/tinyproxy-$1"
  mkdir -p "$dir"
  {
    echo "Port $port"
    echo "Listen 127.0.0.1"
    echo "Timeout 60"
    echo "MaxClients 1000"
    echo "Allow 127.0.0.1"
    echo "LogLevel Warning"
    echo "LogFile \"$dir/tinyproxy.log\""
    echo "PidFile \"$dir/tinyproxy.pid\""
    echo "DisableViaHeader Yes"
    [ -n "$connect_port" ] && echo "ConnectPort $connect_port"
    [ -n "$user" ] && echo "BasicAuth $user $password"
  } >"$dir/tinyproxy.conf"
  [ "$(id -u)" -eq 0 ] && printf 'User root\nGroup root\n' >>"$dir/tinyproxy.conf"
  tinyproxy -d -c "$dir/tinyproxy.conf" >"$dir/stdout" 2>&1 &
  PEER_PIDS+=($!)
  wait_port "$port" || fail "nothing listens on 127.0.0.1:$port"
}

# start_privoxy PORT: privoxy as a plain forwarding proxy (no action or
# filter files, so it changes nothing it forwards).
start_privoxy() {
  local port=$1 dir="$WORK/privoxy-$1"
  mkdir -p "$dir"
  cat >"$dir/config" <<CONF
confdir $dir
logdir $dir
logfile privoxy.log
listen-address 127.0.0.1:$port
toggle 0
enable-remote-toggle 0
enable-edit-actions 0
accept-intercepted-requests 0
keep-alive-timeout 5
max-client-connections 2048
CONF
  privoxy --no-daemon "$dir/config" >"$dir/stdout" 2>&1 &
  PEER_PIDS+=($!)
  wait_port "$port" || fail "nothing listens on 127.0.0.1:$port"
}

# start_harness ARGS...: proxy-harness on a port of its own choosing; sets
# HARNESS_PORT and HARNESS_PID.
start_harness() {
  local out="$WORK/harness-$RANDOM.out"
  "$CW_BUILD/tools/proxy-harness" --port 0 "$@" >"$out" 2>&1 &
  HARNESS_PID=$!
  PEER_PIDS+=("$HARNESS_PID")
  HARNESS_PORT=
  for _ in $(seq 100); do
    HARNESS_PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    [ -n "$HARNESS_PORT" ] && return 0
    kill -0 "$HARNESS_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$out" >&2
  fail "proxy-harness did not start"
}

require_tools() {
  local t
  for t in "$@"; do command -v "$t" >/dev/null 2>&1 || fail "$t is not installed (run scripts/setup)"; done
  [ -x "$CW_BUILD/tools/proxy-harness" ] || fail "no proxy-harness in $CW_BUILD/tools"
}
