#!/usr/bin/env python3
"""A published proxy list's worth of stand-ins on loopback, for the
"Test All Proxies" benchmark, all in one asyncio process:
  - the judge (the vendor stand-in's answer format) on 127.0.0.1;
  - answering proxies, in turn elite (adds nothing), anonymous (adds Via),
    transparent (adds X-Forwarded-For with the client's address), tampering
    (a script put before the judge's page) and dead (502); each answers as
    the judge would have through it, seen from 127.0.0.2, without a second
    hop, and notes the time and the judge host of every request it gets in
    requests.log (what the judges would have seen);
  - silent ones that accept and never answer;
  - unaccepted ones that listen with a backlog that is never accepted;
  - refusing ones: port 9 of addresses where nothing listens.
The stand-ins listen on port 3128 of addresses of their own in 127.0.0.0/8
(127.1.x.y answering, 127.2.x.y silent, 127.3.x.y unaccepted, 127.4.x.y
refusing): thousands of listeners on one address would take the ephemeral
ports the program's own connections need. (Not 8080: a loopback entry on
that port names the program's own listener, which is never tested.)
Writes the list (shuffled with a fixed seed, "host:port kind" a line, CR LF)
and "judge-url" and "ready" files into --out, then serves until killed.
"""
import argparse
import asyncio
import importlib.util
import os
import random
import resource
import socket
import time

here = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("vendor_server", os.path.join(here, "..", "vendor-server.py"))
vendor = importlib.util.module_from_spec(spec)
spec.loader.exec_module(vendor)

PORT = 3128
KINDS = ["elite", "anonymous", "transparent", "tampering", "dead"]


async def read_head(reader):
    try:
        head = await reader.readuntil(b"\r\n\r\n")
    except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, ConnectionError):
        return None
    return head.decode("latin-1").split("\r\n")[:-2]


async def reply(writer, status, body):
    writer.write(b"HTTP/1.0 %s\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % (status, len(body)) + body)
    try:
        await writer.drain()
    except ConnectionError:
        pass
    writer.close()


def serve_judge():
    async def handle(reader, writer):
        lines = await read_head(reader)
        if lines is None:
            writer.close()
            return
        client = writer.get_extra_info("peername")[0]
        await reply(writer, b"200 OK", vendor.judge_answer(client, lines[0], lines[1:]))
    return handle


def serve_proxy(kind, log):
    async def handle(reader, writer):
        lines = await read_head(reader)
        if lines is None:
            writer.close()
            return
        method, target, version = lines[0].split(" ", 2)
        if not target.startswith("http://"):
            # Nobody named to pass it on to: the proxy answers itself.
            await reply(writer, b"400 Bad Request", b"no host\n")
            return
        log.append("%.3f %s\n" % (time.monotonic(), target.split("://", 1)[-1].partition("/")[0]))
        if kind == "dead":
            await reply(writer, b"502 Bad Gateway", b"no way through\n")
            return
        path = "/" + target.split("://", 1)[-1].partition("/")[2]
        headers = [h for h in lines[1:] if not h.lower().startswith(("proxy-connection:", "connection:"))]
        headers.append("Connection: close")
        if kind == "anonymous":
            headers.append("Via: 1.1 standin")
        elif kind == "transparent":
            headers.append("X-Forwarded-For: " + writer.get_extra_info("peername")[0])
        body = vendor.judge_answer("127.0.0.2", "%s %s %s" % (method, path, version), headers)
        if kind == "tampering":
            body = b"<script>window.cwInjected=1</script>" + body
        await reply(writer, b"200 OK", body)
    return handle


def serve_silent():
    async def handle(reader, writer):
        try:
            while await reader.read(4096):
                pass
        except ConnectionError:
            pass
        writer.close()
    return handle


def address(block, i):
    return "127.%d.%d.%d" % (block, i // 250, 1 + i % 250)


async def flush_log(log, path):
    while True:
        await asyncio.sleep(0.5)
        if log:
            with open(path, "a") as f:
                f.write("".join(log))
            del log[:]


async def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--answering", type=int, default=1000)
    p.add_argument("--silent", type=int, default=9500)
    p.add_argument("--unaccepted", type=int, default=500)
    p.add_argument("--refusing", type=int, default=9000)
    p.add_argument("--judges", type=int, default=1, help="judge URLs named in judge-url (hosts of their own)")
    p.add_argument("--out", required=True)
    opts = p.parse_args()
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    judge = await asyncio.start_server(serve_judge(), "127.0.0.1", 0, backlog=1024)
    judge_port = judge.sockets[0].getsockname()[1]
    entries = []
    servers = [judge]
    log = []
    asyncio.ensure_future(flush_log(log, os.path.join(opts.out, "requests.log")))
    for i in range(opts.answering):
        kind = KINDS[i % len(KINDS)]
        servers.append(await asyncio.start_server(serve_proxy(kind, log), address(1, i), PORT, backlog=64))
        entries.append("%s:%d %s" % (address(1, i), PORT, kind))
    for i in range(opts.silent):
        servers.append(await asyncio.start_server(serve_silent(), address(2, i), PORT, backlog=64))
        entries.append("%s:%d silent" % (address(2, i), PORT))
    unaccepted = []
    for i in range(opts.unaccepted):
        s = socket.socket()
        s.bind((address(3, i), PORT))
        s.listen(0)
        unaccepted.append(s)
        entries.append("%s:%d unaccepted" % (address(3, i), PORT))
    for i in range(opts.refusing):
        entries.append("%s:9 refusing" % address(4, i))
    random.Random(24).shuffle(entries)
    with open(os.path.join(opts.out, "list.txt"), "w", newline="") as f:
        f.write("".join(e + "\r\n" for e in entries))
    # Each judge by a name of its own for this machine: the program spreads
    # its requests by judge host.
    judges = ["http://127.0.0.%d:%d%s" % (1 + n, judge_port, vendor.JUDGE_PATH) for n in range(opts.judges)]
    if opts.judges > 1:
        for n in range(1, opts.judges):
            servers.append(await asyncio.start_server(serve_judge(), "127.0.0.%d" % (1 + n), judge_port, backlog=1024))
    with open(os.path.join(opts.out, "judge-url"), "w") as f:
        f.write(" ".join(judges) + "\n")
    with open(os.path.join(opts.out, "ready"), "w") as f:
        f.write("%d\n" % len(entries))
    await asyncio.Event().wait()


if __name__ == "__main__":
    asyncio.run(main())
