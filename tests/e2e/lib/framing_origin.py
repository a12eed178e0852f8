#!/usr/bin/env python3
"""A loopback origin for the filtering tests: pages sent with a length, in
chunks (with a tag split between two chunks and two TCP segments, and a
trailer), ended by the close, a binary file and a gzip body holding the tag
patterns, answers without a body, and pages trickled for the benchmark.
Every request head it receives is appended to HEADS_LOG.
Usage: framing_origin.py PORT HEADS_LOG
       framing_origin.py --dump DIR   (writes the files it serves, and each
                                       page as the filter should make it)"""
import gzip
import http.server
import re
import socketserver
import struct
import sys
import time
import zlib

SCRIPTS = "".join('<script>document.title="ran %d";</script>\n' % i for i in range(6)) + (
    "<script>document.body.insertAdjacentHTML('afterbegin', "
    "'<h2 id=ran style=\"color:red\">SCRIPTS RAN</h2>');</script>\n")
PAGE = ("<html><head><title>not run</title></head><body>\n<h1>Page</h1>\n" + SCRIPTS +
        "<p>tail of the page: THE-END</p></body></html>\n").encode()


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def make_png(size=64):
    """A green square whose text chunk holds the patterns: a viewer shows the
    square and ignores the text, unless a byte of the file was changed."""
    rows = b"".join(b"\x00" + b"\x20\xa0\x40" * size for _ in range(size))
    return (b"\x89PNG\r\n\x1a\n" +
            png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)) +
            png_chunk(b"tEXt", b"Comment\x00<script>alert(1)</script><object data=x></OBJECT>") +
            png_chunk(b"IDAT", zlib.compress(rows)) +
            png_chunk(b"IEND", b""))


PNG = make_png()
BINARY = bytes(range(256)) * 8 + b"<object data=x><script>" + bytes(range(255, -1, -1)) * 8
# Level 0 keeps the text as it is inside the gzip stream, patterns included.
GZIP = gzip.compress(b"<html><object></object><script>gz</script></html>", compresslevel=0, mtime=0)


BIG_PAGES = {}


def big_page(size):
    if size not in BIG_PAGES:
        BIG_PAGES[size] = make_big_page(size)
    return BIG_PAGES[size]


def make_big_page(size):
    unit = b"<p>text text text <b>bold</b> <script>x()</script></p>\n"
    return (unit * (size // len(unit) + 1))[:size]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, body, ctype, extra=()):
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            log.write("client-port %d %s\n%s\n" % (self.client_address[1], self.requestline, self.headers))
        path = self.path.split("?")[0]
        if "://" in path:
            path = "/" + path.split("://", 1)[1].split("/", 1)[1]
        if path == "/length.html":
            self.send_body(PAGE, "text/html; charset=utf-8")
        elif path == "/chunked.html":
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Transfer-Encoding", "chunked")
            self.send_header("Trailer", "X-Check")
            self.end_headers()
            cut = PAGE.index(b"<script>") + 4
            for piece in (PAGE[:cut], PAGE[cut:]):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.flush()
                time.sleep(0.1)
            self.wfile.write(b"0\r\nX-Check: done\r\n\r\n")
        elif path == "/split.html":
            # One pattern cut between two TCP segments sent 0.2 s apart.
            body = SPLIT
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[:22])
            self.wfile.flush()
            time.sleep(0.2)
            self.wfile.write(body[22:])
        elif path == "/close.html":
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(PAGE)
            self.close_connection = True
        elif path == "/withimage.html":
            self.send_body(PAGE.replace(b"<h1>Page</h1>", b'<h1>Page</h1><img id=img src="/image.png" width=64 height=64>'),
                           "text/html")
        elif path == "/frames.html":
            self.send_body(b'<html><body><h1>Two pages</h1><iframe src="/chunked.html" width=500 height=300>'
                           b'</iframe></body></html>\n', "text/html")
        elif path == "/image.png":
            self.send_body(PNG, "image/png")
        elif path == "/binary.bin":
            self.send_body(BINARY, "application/octet-stream")
        elif path == "/gzip.html":
            self.send_body(GZIP, "text/html", [("Content-Encoding", "gzip")])
        elif path == "/empty204":
            self.send_response(204)
            self.end_headers()
        elif path == "/notmodified":
            self.send_response(304)
            self.send_header("Content-Length", "1234")
            self.end_headers()
        elif path.startswith("/big-"):
            # /big-SIZE[-trickle]: an HTML page of SIZE bytes, trickled in
            # 16 KB pieces 2 ms apart when asked.
            parts = path[5:].split("-")
            body = big_page(int(parts[0]))
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if self.command == "HEAD":
                return
            step = 16384 if len(parts) > 1 else len(body)
            for at in range(0, len(body), step):
                self.wfile.write(body[at:at + step])
                self.wfile.flush()
                if len(parts) > 1:
                    time.sleep(0.002)
        else:
            self.send_body(b"no such page\n", "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def filtered(data):
    """The renaming rules, in their order, tag names matched in any case."""
    for pattern, replacement in ((rb"<script", b"<noscript"), (rb"</script>", b"</noscript> "),
                                 (rb"<object", b"<noobj "), (rb"</object>", b"</noobj> ")):
        data = re.sub(pattern, replacement, data, flags=re.IGNORECASE)
    return data


SPLIT = b"<html><body>split <SCRIPT>document.title='ran';</script> end</body></html>\n"

if sys.argv[1] == "--dump":
    files = {"page.html": PAGE, "page.filtered": filtered(PAGE), "split.filtered": filtered(SPLIT),
             "split.html": SPLIT,
             "image.png": PNG, "binary.bin": BINARY, "gzip.html": GZIP}
    for name, data in files.items():
        with open("%s/%s" % (sys.argv[2], name), "wb") as out:
            out.write(data)
    sys.exit(0)

Server(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
