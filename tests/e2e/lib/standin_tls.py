#!/usr/bin/env python3
"""Stand-ins for the HTTPS tests: judges over TLS with certificates of a test
CA made here, and proxies that carry, refuse or break into tunnels.

--cert-dir receives (openssl, made once): ca.pem (the test CA the test
trusts), other-ca.pem (a CA nobody trusts), and the servers' certificates.
On 127.0.0.1 only; --port-file receives "kind port" lines once all listen:
  judge      the JSON echo judge (as standin_judges.py "json") over TLS, with
             a certificate for "localhost" from the test CA
  wrongname  the same, its certificate for "elsewhere.invalid"
  wrongca    the same, its certificate for "localhost" from the other CA
  askcert    as judge, but it asks for a client certificate (optional)
  tunnel     an HTTP proxy adding nothing (elite) that also carries CONNECT
             tunnels to loopback targets; it looks the name up itself, and
             knows names under .test (the judge's certificate names
             "judge.cloakwall.test" too) that nothing else resolves
  refuse     the same proxy, but CONNECT gets 405
  account    as tunnel, but CONNECT wants the account cwuser/cwpass (407)
  mitm       as tunnel, but it answers the tunnel's TLS itself with a
             "localhost" certificate from the other CA and relays the plain
             bytes to the target over TLS of its own: it reads everything
Tunnels connect onwards from 127.0.0.60 and up, so the judge sees another
address than the client's.
"""
import argparse
import base64
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
from http.server import ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from standin_judges import JudgeHandler  # noqa: E402
from standin_proxies import read_head, serve_client  # noqa: E402


# A name only the stand-in proxies resolve: a tunnel to it works only when
# the name itself is handed to the proxy.
PROXY_ONLY_NAME = "judge.cloakwall.test"
ACCOUNT = "Basic " + base64.b64encode(b"cwuser:cwpass").decode()
# What the plain stand-in's own options would hold: no log, no wait.
PLAIN_OPTS = argparse.Namespace(log=None, slow_seconds=0)


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certs(d):
    """The CAs and the servers' certificates, with SANs as browsers want them."""
    os.makedirs(d, exist_ok=True)
    for ca in ("ca", "other-ca"):
        if not os.path.exists(os.path.join(d, ca + ".pem")):
            openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
                    "/CN=Cloakwall test %s" % ca, "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign",
                    "-keyout", os.path.join(d, ca + ".key"), "-out", os.path.join(d, ca + ".pem"))
    for name, host, ca in (("localhost", "localhost,DNS:" + PROXY_ONLY_NAME, "ca"),
                           ("wrongname", "elsewhere.invalid", "ca"), ("wrongca", "localhost", "other-ca")):
        pem = os.path.join(d, name + ".pem")
        if os.path.exists(pem):
            continue
        key, csr, ext = (os.path.join(d, name + s) for s in (".key", ".csr", ".ext"))
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + host.split(",")[0], "-keyout", key,
                "-out", csr)
        with open(ext, "w") as f:
            f.write("subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n" % host)
        openssl("x509", "-req", "-in", csr, "-CA", os.path.join(d, ca + ".pem"), "-CAkey",
                os.path.join(d, ca + ".key"), "-CAcreateserial", "-days", "30", "-extfile", ext, "-out", pem)


def server_context(d, name):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(d, name + ".pem"), os.path.join(d, name + ".key"))
    return ctx


def relay(a, b):
    def pump(src, dst):
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                dst.sendall(data)
        except OSError:
            pass
        for s in (src, dst):
            try:
                s.close()
            except OSError:
                pass
    threading.Thread(target=pump, args=(b, a), daemon=True).start()
    pump(a, b)


def serve_proxy(client, peer, kind, source, mitm_ctx):
    try:
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        data = client.recv(8, socket.MSG_PEEK)
        if not data.startswith(b"CONNECT "):
            # Plain requests: the elite stand-in proxy's own way.
            serve_client(client, peer, "plain", source, PLAIN_OPTS)
            return
        head, rest = read_head(client)
        if head is None:
            return
        if kind == "refuse":
            client.sendall(b"HTTP/1.0 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            return
        if kind == "account" and ("proxy-authorization: " + ACCOUNT.lower()) not in head.lower():
            client.sendall(b"HTTP/1.0 407 Proxy Authentication Required\r\n"
                           b"Proxy-Authenticate: Basic realm=\"standin\"\r\nContent-Length: 0\r\n\r\n")
            return
        host, _, port = head.split("\r\n")[0].split(" ")[1].rpartition(":")
        addr = "127.0.0.1" if host.endswith(".test") else socket.gethostbyname(host)
        if not addr.startswith("127."):
            client.sendall(b"HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            return
        upstream = socket.create_connection((addr, int(port)), timeout=30, source_address=(source, 0))
        client.sendall(b"HTTP/1.0 200 Connection established\r\n\r\n")
        if kind == "mitm":
            client = mitm_ctx.wrap_socket(client, server_side=True)
            outward = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            outward.check_hostname = False
            outward.verify_mode = ssl.CERT_NONE
            upstream = outward.wrap_socket(upstream, server_hostname=host)
        elif rest:
            upstream.sendall(rest)
        relay(client, upstream)
    except (OSError, ValueError):
        try:
            client.close()
        except OSError:
            pass


def run_proxy(listener, kind, source, mitm_ctx):
    while True:
        client, peer = listener.accept()
        threading.Thread(target=serve_proxy, args=(client, peer, kind, source, mitm_ctx), daemon=True).start()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--cert-dir", required=True)
    p.add_argument("--port-file", required=True)
    opts = p.parse_args()
    make_certs(opts.cert_dir)

    lines = []
    for kind, cert in (("judge", "localhost"), ("wrongname", "wrongname"), ("wrongca", "wrongca"),
                       ("askcert", "localhost")):
        httpd = ThreadingHTTPServer(("127.0.0.1", 0), JudgeHandler)
        httpd.daemon_threads = True
        httpd.style = "json"
        ctx = server_context(opts.cert_dir, cert)
        if kind == "askcert":
            ctx.verify_mode = ssl.CERT_OPTIONAL
            ctx.load_verify_locations(os.path.join(opts.cert_dir, "ca.pem"))
        httpd.socket = ctx.wrap_socket(
            httpd.socket, server_side=True, do_handshake_on_connect=False)
        threading.Thread(target=httpd.serve_forever, daemon=True).start()
        lines.append("%s %d\n" % (kind, httpd.server_address[1]))
    mitm_ctx = server_context(opts.cert_dir, "wrongca")
    for index, kind in enumerate(("tunnel", "refuse", "mitm", "account")):
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        listener.listen(64)
        threading.Thread(target=run_proxy, args=(listener, kind, "127.0.0.%d" % (60 + index), mitm_ctx),
                         daemon=True).start()
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
