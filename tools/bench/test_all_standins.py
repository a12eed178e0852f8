#!/usr/bin/env python3
"""A published proxy list's worth of stand-ins on loopback, for the
"Test All Proxies" benchmark, all in one asyncio process:
  - the judge (the vendor stand-in's answer format) on 127.0.0.1;
  - answering proxies on 127.0.0.1, one port each, in turn elite (adds
    nothing), anonymous (adds Via), transparent (adds X-Forwarded-For with
    the client's address), tampering (a script put before the judge's page)
    and dead (502); each answers as the judge would have through it, seen
    from 127.0.0.2, without a second hop;
  - hanging ones: half accept and never answer, half listen with a backlog
    that is never accepted;
  - refusing ones: port 9 of 127.0.2.1 and up, where nothing listens.
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

here = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("vendor_server", os.path.join(here, "..", "vendor-server.py"))
vendor = importlib.util.module_from_spec(spec)
spec.loader.exec_module(vendor)

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


def serve_proxy(kind):
    async def handle(reader, writer):
        lines = await read_head(reader)
        if lines is None:
            writer.close()
            return
        if kind == "dead":
            await reply(writer, b"502 Bad Gateway", b"no way through\n")
            return
        method, target, version = lines[0].split(" ", 2)
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


async def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--answering", type=int, default=2000)
    p.add_argument("--hanging", type=int, default=1000)
    p.add_argument("--refusing", type=int, default=2000)
    p.add_argument("--out", required=True)
    opts = p.parse_args()
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    judge = await asyncio.start_server(serve_judge(), "127.0.0.1", 0, backlog=1024)
    judge_port = judge.sockets[0].getsockname()[1]
    entries = []
    servers = [judge]
    for i in range(opts.answering):
        kind = KINDS[i % len(KINDS)]
        server = await asyncio.start_server(serve_proxy(kind), "127.0.0.1", 0, backlog=64)
        servers.append(server)
        entries.append("127.0.0.1:%d %s" % (server.sockets[0].getsockname()[1], kind))
    unaccepted = []
    for i in range(opts.hanging):
        if i % 2 == 0:
            server = await asyncio.start_server(serve_silent(), "127.0.0.1", 0, backlog=64)
            servers.append(server)
            entries.append("127.0.0.1:%d silent" % server.sockets[0].getsockname()[1])
        else:
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            s.listen(0)
            unaccepted.append(s)
            entries.append("127.0.0.1:%d unaccepted" % s.getsockname()[1])
    for i in range(opts.refusing):
        entries.append("127.0.%d.%d:9 refusing" % (2 + i // 250, 1 + i % 250))
    random.Random(24).shuffle(entries)
    with open(os.path.join(opts.out, "list.txt"), "w", newline="") as f:
        f.write("".join(e + "\r\n" for e in entries))
    with open(os.path.join(opts.out, "judge-url"), "w") as f:
        f.write("http://127.0.0.1:%d%s\n" % (judge_port, vendor.JUDGE_PATH))
    with open(os.path.join(opts.out, "ready"), "w") as f:
        f.write("%d\n" % len(entries))
    await asyncio.Event().wait()


if __name__ == "__main__":
    asyncio.run(main())
