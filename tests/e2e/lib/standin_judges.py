#!/usr/bin/env python3
"""Stand-in proxy judges in the styles public judges answer in, for the
grading tests. On 127.0.0.1 only; --port-file receives "style port" lines
once all of them listen:
  env    /azenv.php: the environment dump of a judge script, "KEY = value"
         lines in a <pre> (REMOTE_ADDR, REQUEST_URI, HTTP_X_Y for header X-Y)
  json   /get: the JSON echo of an HTTP echo service ("origin", "url",
         "args", "headers"); the origin is the X-Forwarded-For chain ended by
         the peer, as such services behind their own balancers write it
  blind  any path: the program's own judge answer with an empty client line,
         as a judge behind a front that does not pass the client on gives it
  front  a reverse proxy in front of the vendor stand-in's judge (--vendor-port):
         it connects onwards from 127.0.3.1 and appends its peer's address to
         X-Forwarded-For, as load balancers do
"""
import argparse
import importlib.util
import json
import os
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from standin_proxies import read_head, recv_all  # noqa: E402

_spec = importlib.util.spec_from_file_location(
    "vendor_server", os.path.join(HERE, "..", "..", "..", "tools", "vendor-server.py"))
vendor_server = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(vendor_server)

FRONT_SOURCE = "127.0.3.1"


class JudgeHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def answer(self, body, ctype):
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        peer = self.client_address[0]
        style = self.server.style
        if style == "env":
            lines = ["REMOTE_ADDR = " + peer, "REMOTE_PORT = %d" % self.client_address[1],
                     "REQUEST_METHOD = GET", "REQUEST_URI = " + self.path_only()]
            lines += ["HTTP_%s = %s" % (name.upper().replace("-", "_"), value)
                      for name, value in self.headers.raw_items()]
            lines.append("REQUEST_TIME = %d" % int(time.time()))
            body = "<html><head><title>AZ Environment variables</title></head><body><pre>\n%s\n</pre></body></html>\n" % (
                "\n".join(lines))
            self.answer(body.encode("latin-1", "replace"), "text/html")
        elif style == "json":
            forwarded = self.headers.get("X-Forwarded-For")
            origin = forwarded + ", " + peer if forwarded else peer
            query = self.path_only().partition("?")[2]
            args = dict(part.partition("=")[::2] for part in query.split("&") if part)
            echo = {"args": args, "headers": dict(self.headers.raw_items()), "origin": origin,
                    "url": "http://%s%s" % (self.headers.get("Host", ""), self.path_only())}
            self.answer((json.dumps(echo, indent=2) + "\n").encode("utf-8"), "application/json")
        else:
            headers = ["%s: %s" % (name, value) for name, value in self.headers.raw_items()]
            self.answer(vendor_server.judge_answer("", self.requestline, headers), "text/plain")

    def path_only(self):
        path = self.path
        if path.startswith("http://"):
            slash = path.find("/", len("http://"))
            path = path[slash:] if slash >= 0 else "/"
        return path


def serve_front(client, peer, vendor_port):
    try:
        head, rest = read_head(client)
        if head is None:
            return
        lines = head.split("\r\n")
        headers, forwarded = [], None
        for line in lines[1:]:
            name, _, value = line.partition(":")
            if name.strip().lower() == "x-forwarded-for":
                forwarded = value.strip()
            elif name.strip().lower() != "connection":
                headers.append(line)
        headers.append("X-Forwarded-For: " + (forwarded + ", " if forwarded else "") + peer[0])
        headers.append("Connection: close")
        request = "%s\r\n%s\r\n\r\n" % (lines[0], "\r\n".join(headers))
        with socket.create_connection(("127.0.0.1", vendor_port), timeout=30,
                                      source_address=(FRONT_SOURCE, 0)) as upstream:
            upstream.sendall(request.encode("latin-1") + rest)
            client.sendall(recv_all(upstream))
    except OSError:
        pass
    finally:
        client.close()


def run_front(listener, vendor_port):
    while True:
        client, peer = listener.accept()
        threading.Thread(target=serve_front, args=(client, peer, vendor_port), daemon=True).start()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--vendor-port", type=int, required=True)
    p.add_argument("--port-file", required=True)
    opts = p.parse_args()

    lines = []
    for style in ("env", "json", "blind"):
        httpd = ThreadingHTTPServer(("127.0.0.1", 0), JudgeHandler)
        httpd.daemon_threads = True
        httpd.style = style
        threading.Thread(target=httpd.serve_forever, daemon=True).start()
        lines.append("%s %d\n" % (style, httpd.server_address[1]))
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    threading.Thread(target=run_front, args=(listener, opts.vendor_port), daemon=True).start()
    lines.append("front %d\n" % listener.getsockname()[1])
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
