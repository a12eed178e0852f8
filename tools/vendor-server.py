#!/usr/bin/env python3
"""Stand-in for the vendor's web server, for tests and `make run`.

Serves, on 127.0.0.1 only:
  /licensing/ProxyGenerator/proxylist.txt  the list file given with --list (read at every request)
  /licensing/ProxyGenerator/ProxyGen.asp   a short text answer
  /bandwidthchecker/dlsample1.gif          a GIF image of 64 KB (or the file given with --sample)
  /licensing/ProxyGenerator/judge          the proxy judge: what the request looked like on arrival
Everything else is 404. With --log, each request is appended to that file as
one line: method, target, and the Via header a proxy added (or "-").
"""
import argparse
import os
import sys
import threading
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LIST_PATH = "/licensing/ProxyGenerator/proxylist.txt"
GEN_PATH = "/licensing/ProxyGenerator/ProxyGen.asp"
SAMPLE_PATH = "/bandwidthchecker/dlsample1.gif"
JUDGE_PATH = "/licensing/ProxyGenerator/judge"
JUDGE_MAGIC = "Cloakwall-Judge/1"


def judge_answer(client, request_line, header_lines):
    """The judge's plain-text answer, lines ended with CR LF: the magic line,
    "Client: " and the address the request came from, "Request: " and the
    request line, every header line as received, an empty line, then the
    byte count and the CRC-32 (hex) of everything before them, so a client
    sees an answer that a proxy changed on the way."""
    lines = [JUDGE_MAGIC, "Client: " + client, "Request: " + request_line] + header_lines + [""]
    head = "".join(line + "\r\n" for line in lines).encode("latin-1", "replace")
    trailer = "Length: %d\r\nChecksum: %08x\r\n" % (len(head), zlib.crc32(head) & 0xFFFFFFFF)
    return head + trailer.encode("ascii")


def default_sample():
    # A valid 64x64 one-colour GIF padded with a comment block to 64 KB: a
    # sample the speed test can time, not one that arrives in one packet.
    header = b"GIF89a" + bytes([64, 0, 64, 0, 0x80, 0, 0]) + bytes([0, 0, 0, 255, 255, 255])
    comment = b"!\xfe"
    text = (b"Cloakwall speed sample " * 3000)[:64 * 1024]
    for i in range(0, len(text), 255):
        chunk = text[i:i + 255]
        comment += bytes([len(chunk)]) + chunk
    comment += b"\x00"
    image = b",\x00\x00\x00\x00\x40\x00\x40\x00\x00\x02\x02\x44\x01\x00"
    return header + comment + image + b";"


class Handler(BaseHTTPRequestHandler):
    server_version = "VendorStandIn/1.0"
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # the request log below replaces stderr noise
        pass

    def record(self):
        log = self.server.options.log
        if not log:
            return
        # Who connected, last: a judge's request must come from a proxy.
        line = "%s %s %s from %s\n" % (self.command, self.path, self.headers.get("Via", "-"), self.client_address[0])
        with self.server.log_lock, open(log, "a") as f:
            f.write(line)

    def answer(self, status, body, ctype):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        self.record()
        path = self.path
        if path.startswith("http://"):  # absolute form, as a proxy may send it
            slash = path.find("/", len("http://"))
            path = path[slash:] if slash >= 0 else "/"
        path = path.split("?", 1)[0]
        opts = self.server.options
        if path == LIST_PATH:
            try:
                with open(opts.list, "rb") as f:
                    body = f.read()
            except OSError:
                self.answer(404, b"Not Found\n", "text/plain")
                return
            self.answer(200, body, "text/plain")
        elif path == GEN_PATH:
            self.answer(200, b"OK\r\n", "text/html")
        elif path == SAMPLE_PATH:
            self.answer(200, self.server.sample, "image/gif")
        elif path == JUDGE_PATH:
            headers = ["%s: %s" % (name, value) for name, value in self.headers.raw_items()]
            body = judge_answer(self.client_address[0], self.requestline, headers)
            self.answer(200, body, "text/plain")
        else:
            self.answer(404, b"Not Found\n", "text/plain")

    do_HEAD = do_GET


class Server(ThreadingHTTPServer):
    # "Test All Proxies" sends hundreds of requests at once through the
    # stand-in proxies to the judge here: with the default backlog of 5 most
    # of their connects were dropped and tried again a second or more later.
    request_queue_size = 512


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--port", type=int, default=8081, help="port on 127.0.0.1 (0: any free port)")
    p.add_argument("--list", required=True, help="file served as the proxy list")
    p.add_argument("--sample", help="file served as the speed sample (default: a built-in GIF)")
    p.add_argument("--log", help="append one line per request to this file")
    p.add_argument("--port-file", help="write the port actually bound to this file once listening")
    opts = p.parse_args()

    sample = default_sample()
    if opts.sample:
        with open(opts.sample, "rb") as f:
            sample = f.read()
    if len(sample) < 632:
        sys.exit("vendor-server: the speed sample must be at least 632 bytes")

    httpd = Server(("127.0.0.1", opts.port), Handler)
    httpd.daemon_threads = True
    httpd.options = opts
    httpd.sample = sample
    httpd.log_lock = threading.Lock()
    port = httpd.server_address[1]
    if opts.port_file:
        tmp = opts.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, opts.port_file)
    print("vendor-server: listening on 127.0.0.1:%d" % port, flush=True)
    try:
        httpd.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        httpd.server_close()


if __name__ == "__main__":
    main()
