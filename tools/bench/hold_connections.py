#!/usr/bin/env python3
"""Opens many connections to a proxy on 127.0.0.1 and holds them, for the
benchmark's memory and scale rows and the scale tests.

  hold_connections.py PORT ORIGIN PATH COUNT MODE [--until-failure] [--rounds R]

MODE "fresh" only connects (each connection is a handler waiting for its head);
"kept" sends one proxy-form GET of ORIGIN+PATH on each connection and reads the
whole answer, so each is a kept-alive connection after one answer. With
--until-failure, opening stops at the first connection that fails instead of
ending the run with an error. --rounds R (kept mode) sends R-1 more requests on
every held connection once all are open, all of them in flight together, and
counts the complete answers. Prints "held=N answered=M" and then holds the
connections until stdin closes. Every operation waits at most 60 s (under
Wine a round of 1,000 requests at once took 6 s, and the first connection
opened can be the last one answered).
"""
import resource
import socket
import sys
import time

TIMEOUT_S = 60.0


def raise_descriptor_limit(count):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    want = count + 64
    if soft < want:
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(want, hard) if hard != resource.RLIM_INFINITY else want, hard))


def read_answer(sock, pending=b""):
    """Reads one answer with a Content-Length; returns the bytes after it."""
    data = pending
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed before the head")
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed in the body")
        body += chunk
    if not head.startswith(b"HTTP/1.1 200") and not head.startswith(b"HTTP/1.0 200"):
        raise ConnectionError("answer " + head.split(b"\r\n")[0].decode(errors="replace"))
    return body[length:]


def main():
    args = sys.argv[1:]
    until_failure = "--until-failure" in args
    rounds = 1
    if "--rounds" in args:
        rounds = int(args[args.index("--rounds") + 1])
        del args[args.index("--rounds"):args.index("--rounds") + 2]
    args = [a for a in args if a != "--until-failure"]
    port, origin, path, count, mode = int(args[0]), args[1], args[2], int(args[3]), args[4]
    raise_descriptor_limit(count)
    request = ("GET http://%s%s HTTP/1.1\r\nHost: %s\r\n\r\n" % (origin, path, origin)).encode()

    conns = []
    for _ in range(count):
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT_S)
            if mode == "kept":
                s.sendall(request)
                read_answer(s)
            conns.append(s)
        except OSError as e:
            if not until_failure:
                print("failed after %d connections: %s" % (len(conns), e), flush=True)
                sys.exit(1)
            break

    good = [mode == "kept"] * len(conns)
    if mode == "kept":
        for _ in range(rounds - 1):
            started = time.monotonic()
            for i, s in enumerate(conns):
                try:
                    s.sendall(request)
                except OSError as e:
                    good[i] = False
                    print("connection %d: %s" % (i, e), file=sys.stderr, flush=True)
            for i, s in enumerate(conns):
                try:
                    if good[i]:
                        read_answer(s)
                except OSError as e:
                    good[i] = False
                    print("connection %d: %s" % (i, e), file=sys.stderr, flush=True)
            print("round of %d requests: %.2f s" % (len(conns), time.monotonic() - started), file=sys.stderr, flush=True)
    answered = sum(good)
    print("held=%d answered=%d" % (len(conns), answered), flush=True)
    sys.stdin.read()
    for s in conns:
        s.close()


if __name__ == "__main__":
    main()
