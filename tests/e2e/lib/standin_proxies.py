#!/usr/bin/env python3
"""Stand-in upstream proxies of known behaviour, for the proxy grading tests.

Each --kind starts one HTTP proxy on 127.0.0.1 (a port of its own) whose
outgoing connections leave from another loopback address (127.0.0.2, .3, ...,
one per proxy), so a judge sees an address other than the client's:
  xff     adds X-Forwarded-For with the client's address (transparent)
  via     adds only a Via header (anonymous)
  plain   adds nothing (elite)
  inject  puts a script into every answer it carries (tampering)
  silent  accepts connections and never answers
  slow    as plain, but waits --slow-seconds before it answers
  unaccepted  listens with the shortest backlog and never accepts: once the
          backlog is full, a connect is never answered
  account as plain, for the account cwuser:cwpass (Proxy-Authorization:
          Basic) only; 407 without it or with another
Only loopback targets are served, and names under ".test", which these
proxies alone resolve (to 127.0.0.1): a client that looked such a name up
itself would find nothing. --port-file receives one line per proxy,
"kind port", once all of them listen; --log one line per request, "kind
target User-Agent".
"""
import argparse
import base64
import os
import socket
import threading
import time

INJECTED = b"<script>window.cwInjected=1</script>"
ACCOUNT = "Basic " + base64.b64encode(b"cwuser:cwpass").decode("ascii")
LOG_LOCK = threading.Lock()


def header_value(lines, name):
    for line in lines:
        key, _, value = line.partition(":")
        if key.strip().lower() == name:
            return value.strip()
    return ""


def read_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(4096)
        if not chunk:
            return None, b""
        data += chunk
        if len(data) > 65536:
            return None, b""
    head, rest = data.split(b"\r\n\r\n", 1)
    return head.decode("latin-1"), rest


def recv_all(sock):
    parts = []
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return b"".join(parts)
        parts.append(chunk)


def inject(answer):
    head, _, body = answer.partition(b"\r\n\r\n")
    body = INJECTED + body
    lines = [line for line in head.split(b"\r\n") if not line.lower().startswith(b"content-length:")]
    lines.append(b"Content-Length: %d" % len(body))
    return b"\r\n".join(lines) + b"\r\n\r\n" + body


def serve_client(client, peer, kind, source, opts):
    try:
        if kind == "silent":
            # Hold the connection without a word until the client gives up.
            while client.recv(4096):
                pass
            return
        head, rest = read_head(client)
        if head is None:
            return
        lines = head.split("\r\n")
        method, target, version = lines[0].split(" ", 2)
        if not target.startswith("http://"):
            client.sendall(b"HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
            return
        if opts.log:
            with LOG_LOCK, open(opts.log, "a") as f:
                f.write("%s %s %s\n" % (kind, target, header_value(lines[1:], "user-agent")))
        if kind == "account" and header_value(lines[1:], "proxy-authorization") != ACCOUNT:
            client.sendall(b"HTTP/1.0 407 Proxy Authentication Required\r\n"
                           b"Proxy-Authenticate: Basic realm=\"standin\"\r\nContent-Length: 0\r\n\r\n")
            return
        hostport, _, path = target[len("http://"):].partition("/")
        host, _, port = hostport.partition(":")
        if host.endswith(".test"):
            host = "127.0.0.1"
        # Loopback only: an address, or the name tests give their origins
        # (the program sends a loopback address straight to it, never here).
        if not (host.startswith("127.") or host == "localhost"):
            client.sendall(b"HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            return
        headers = [line for line in lines[1:]
                   if not line.lower().startswith(("connection:", "proxy-connection:", "proxy-authorization:"))]
        headers.append("Connection: close")
        if kind == "xff":
            headers.append("X-Forwarded-For: " + peer[0])
        elif kind == "via":
            headers.append("Via: 1.0 standin-" + kind)
        request = "%s /%s %s\r\n%s\r\n\r\n" % (method, path, version, "\r\n".join(headers))
        upstream = socket.create_connection((host, int(port or 80)), timeout=30, source_address=(source, 0))
        with upstream:
            upstream.sendall(request.encode("latin-1") + rest)
            answer = recv_all(upstream)
        if kind == "inject":
            answer = inject(answer)
        if kind == "slow":
            time.sleep(opts.slow_seconds)
        client.sendall(answer)
    except OSError:
        pass
    finally:
        try:
            client.close()
        except OSError:
            pass


def run_proxy(listener, kind, source, opts):
    while True:
        client, peer = listener.accept()
        threading.Thread(target=serve_client, args=(client, peer, kind, source, opts), daemon=True).start()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--kind", action="append", required=True,
                   choices=["xff", "via", "plain", "inject", "silent", "slow", "unaccepted", "account"])
    p.add_argument("--log")
    p.add_argument("--slow-seconds", type=float, default=1.5)
    p.add_argument("--port-file", required=True)
    opts = p.parse_args()

    lines = []
    unaccepted = []
    for index, kind in enumerate(opts.kind):
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        if kind == "unaccepted":
            listener.listen(0)
            unaccepted.append(listener)
        else:
            listener.listen(256)
            source = "127.0.0.%d" % (2 + index)
            threading.Thread(target=run_proxy, args=(listener, kind, source, opts), daemon=True).start()
        lines.append("%s %d\n" % (kind, listener.getsockname()[1]))
    tmp = opts.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.writelines(lines)
    os.replace(tmp, opts.port_file)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
