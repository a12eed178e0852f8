# Loopback ports for the shell-side test peers, sourced by the end-to-end
# scripts, the benchmark and the proxy-list peers. 127.0.0.1 only.

# A port nobody listens on right now (the kernel's choice of a free one).
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# Waits (at most about 10 s) until something accepts on 127.0.0.1:$1;
# returns 1 when nothing did.
wait_port() {
  local port=$1
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}
