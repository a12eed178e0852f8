# Shared by the proxy's end-to-end scripts and the benchmark: start loopback
# peers (nginx origin, tinyproxy, privoxy, microsocks, proxy-harness) with configs in a
# temporary folder, wait for them, and stop every one of them on exit.
# Everything listens on 127.0.0.1 only.
#
# Source it, then call peers_init once; it sets WORK (the temp folder) and a
# trap that stops every process started through these functions.

source "$(dirname "${BASH_SOURCE[0]}")/../../support/ports.sh"

PEER_PIDS=()
PEERS_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)

peers_init() {
  # CW_WORK_ROOT moves the folder off /tmp (a shared machine may sweep it).
  WORK=$(mktemp -d "${CW_WORK_ROOT:-/tmp}/cw-proxy-e2e.XXXXXX")
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

# start_privoxy_filtering PORT: privoxy with its own filtering on, renaming
# script tags the way proxy-harness --script-filter does (for the benchmark).
start_privoxy_filtering() {
  local port=$1 dir="$WORK/privoxy-$1"
  mkdir -p "$dir"
  cat >"$dir/cw.filter" <<'FILTER'
FILTER: cw-noscript Rename script tags as the local proxy does
s/<script/<noscript/ig
s@</script>@</noscript> @ig
FILTER
  printf '{ +filter{cw-noscript} }\n/\n' >"$dir/cw.action"
  cat >"$dir/config" <<CONF
confdir $dir
logdir $dir
logfile privoxy.log
actionsfile cw.action
filterfile cw.filter
listen-address 127.0.0.1:$port
toggle 1
enable-remote-toggle 0
enable-edit-actions 0
accept-intercepted-requests 0
keep-alive-timeout 5
max-client-connections 2048
CONF
  privoxy --no-daemon "$dir/config" >"$dir/stdout" 2>&1 &
  PEER_PIDS+=($!)
  wait_port "$port"
}

# start_microsocks PORT [USER PASSWORD]: a SOCKS5 upstream (microsocks),
# asking for the account when one is given.
start_microsocks() {
  local port=$1 user=${2:-} password=${3:-} args=(-i 127.0.0.1 -p "$1")
  [ -n "$user" ] && args+=(-u "$user" -P "$password")
  microsocks "${args[@]}" >"$WORK/microsocks-$port.out" 2>&1 &
  PEER_PIDS+=($!)
  wait_port "$port" || fail "nothing listens on 127.0.0.1:$port"
}

# start_harness ARGS...: proxy-harness on a port of its own choosing; sets
# HARNESS_PORT and HARNESS_PID. HARNESS_NOFILE, when set, is the harness's
# descriptor limit; HARNESS_STDIN, when set, a file (a fifo the caller keeps
# open) it reads its stdin from.
start_harness() {
  launch_harness "$CW_BUILD/tools/proxy-harness" --port 0 "$@"
}

# start_wine_harness WINDOWS_BUILD ARGS...: the same, with the proxy built for
# Windows running under Wine in that build tree's prefix.
start_wine_harness() {
  local build=$1; shift
  [ -f "$build/tools/proxy-harness.exe" ] || fail "no proxy-harness.exe in $build/tools"
  launch_harness "$PEERS_SOURCE_DIR/cmake/wine-run" "$build/tools/proxy-harness.exe" --port 0 "$@"
}

launch_harness() {
  local out="$WORK/harness-$RANDOM.out"
  # Made here, so the search below never races the child's redirection.
  : >"$out"
  (
    exec 7>&-
    [ -n "${HARNESS_NOFILE:-}" ] && ulimit -n "$HARNESS_NOFILE"
    [ -n "${HARNESS_STDIN:-}" ] && exec <"$HARNESS_STDIN"
    exec "$@"
  ) >"$out" 2>&1 &
  HARNESS_PID=$!
  HARNESS_OUT=$out
  PEER_PIDS+=("$HARNESS_PID")
  HARNESS_PORT=
  for _ in $(seq 300); do
    HARNESS_PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)\r\{0,1\}$/\1/p' "$out")
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
  [ -z "${CW_BUILD:-}" ] || [ -x "$CW_BUILD/tools/proxy-harness" ] || fail "no proxy-harness in $CW_BUILD/tools"
}

# open_harness_stdin: a fifo for HARNESS_STDIN, held open for writing on
# descriptor 8, so a harness started with --stats-on-stdin can be asked.
open_harness_stdin() {
  HARNESS_STDIN="$WORK/harness-stdin-$RANDOM"
  mkfifo "$HARNESS_STDIN"
  exec 8<>"$HARNESS_STDIN"
}

# start_holder ARGS...: tools/bench/hold_connections.py ARGS in the
# background, holding its connections until release_holder; sets HOLDER_PID
# and HOLDER_OUT. Descriptor 7 is the holder's stdin; the holder itself must
# not inherit it, or it would never see its end.
start_holder() {
  local fifo="$WORK/holder-$RANDOM"
  mkfifo "$fifo"
  HOLDER_OUT="$fifo.out"
  python3 "$PEERS_SOURCE_DIR/tools/bench/hold_connections.py" "$@" <"$fifo" >"$HOLDER_OUT" 2>&1 7>&- 8>&- &
  HOLDER_PID=$!
  PEER_PIDS+=("$HOLDER_PID")
  exec 7>"$fifo"
}

# holder_result [TENTHS]: waits (at most TENTHS tenths of a second, default
# 600) for the holder's line; sets HELD and ANSWERED. Fails when none came.
holder_result() {
  local line
  for _ in $(seq "${1:-600}"); do
    grep -q '^held=' "$HOLDER_OUT" && break
    kill -0 "$HOLDER_PID" 2>/dev/null || break
    sleep 0.1
  done
  line=$(grep '^held=' "$HOLDER_OUT") || return 1
  HELD=$(echo "$line" | sed 's/^held=\([0-9]*\).*/\1/')
  ANSWERED=$(echo "$line" | sed 's/.*answered=\([0-9]*\).*/\1/')
}

# release_holder: closes the held connections and waits for the holder.
release_holder() {
  exec 7>&-
  wait "$HOLDER_PID" || true
}

# harness_stats: asks that harness for its counts; sets STAT_sockets (the
# proxy's open sockets) and STAT_threads (the process's threads).
harness_stats() {
  local before now line
  before=$(grep -c '^sockets=' "$HARNESS_OUT" || true)
  echo stats >&8
  for _ in $(seq 200); do
    now=$(grep -c '^sockets=' "$HARNESS_OUT" || true)
    [ "$now" -gt "$before" ] && break
    sleep 0.05
  done
  line=$(grep '^sockets=' "$HARNESS_OUT" | tail -1 | tr -d '\r')
  [ -n "$line" ] || fail "the harness gave no counts"
  eval "$(echo "$line" | tr ' ' '\n' | sed 's/^/STAT_/')"
}
