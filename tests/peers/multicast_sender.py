#!/usr/bin/env python3
"""Multicast sender for the tests, run in the sender's network namespace.

It listens on TCP for broadcast jobs. A job is one connection: a 4-byte
little-endian length and a JSON header {"group", "port", "pacing_us",
"repeat"}, then a 4-byte datagram count and each datagram as a 4-byte length
and its bytes. The datagrams are sent in order, "repeat" times, to the group
from the sender's own address with TTL 1, pacing_us apart. The answer is
"done <datagrams sent>\\n"; a client that closes its connection ends its job
early. The sender logs what it sent and ends by itself after its lifetime.
"""
import argparse
import json
import select
import socket
import struct
import sys
import threading
import time

MAX_HEADER = 4096
MAX_DATAGRAMS = 100000
MAX_DATAGRAM = 65507


def log(text):
    print("multicast_sender: " + text, flush=True)


def read_exact(conn, count):
    data = bytearray()
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise ConnectionError("job cut short")
        data += chunk
    return bytes(data)


def read_u32(conn):
    return struct.unpack("<I", read_exact(conn, 4))[0]


def client_gone(conn):
    readable, _, _ = select.select([conn], [], [], 0)
    if not readable:
        return False
    try:
        return conn.recv(1, socket.MSG_PEEK) == b""
    except OSError:
        return True


def run_job(conn, source):
    conn.settimeout(30)
    length = read_u32(conn)
    if length > MAX_HEADER:
        raise ValueError("header of %d bytes" % length)
    job = json.loads(read_exact(conn, length))
    count = read_u32(conn)
    if count > MAX_DATAGRAMS:
        raise ValueError("%d datagrams" % count)
    datagrams = []
    for _ in range(count):
        size = read_u32(conn)
        if size > MAX_DATAGRAM:
            raise ValueError("datagram of %d bytes" % size)
        datagrams.append(read_exact(conn, size))
    group, port = job["group"], int(job["port"])
    pacing = max(0, int(job.get("pacing_us", 0))) / 1e6
    repeat = max(1, int(job.get("repeat", 1)))
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(source))
    out.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 << 20)
    out.bind((source, 0))
    sent = 0
    nbytes = 0
    started = time.monotonic()
    next_at = started
    try:
        for round_ in range(repeat):
            if client_gone(conn):
                break
            for datagram in datagrams:
                if pacing:
                    delay = next_at - time.monotonic()
                    if delay > 0:
                        time.sleep(delay)
                    next_at += pacing
                try:
                    out.sendto(datagram, (group, port))
                    sent += 1
                    nbytes += len(datagram)
                except OSError as error:
                    log("send failed: %s" % error)
    finally:
        out.close()
    log("sent %d datagrams, %d bytes, to %s:%d in %.3f s (%d kinds, %d rounds asked)"
        % (sent, nbytes, group, port, time.monotonic() - started, len(datagrams), repeat))
    try:
        conn.sendall(("done %d\n" % sent).encode())
    except OSError:
        pass


def serve(conn, source):
    try:
        run_job(conn, source)
    except Exception as error:  # a broken job must not end the sender
        log("job failed: %s" % error)
    finally:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen", default="10.203.0.1")
    parser.add_argument("--port", type=int, default=47300)
    parser.add_argument("--source", default="10.203.0.1")
    parser.add_argument("--lifetime", type=float, default=900)
    args = parser.parse_args()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.listen, args.port))
    listener.listen(16)
    log("listening on %s:%d" % (args.listen, args.port))
    deadline = time.monotonic() + args.lifetime
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            log("lifetime over")
            return 0
        readable, _, _ = select.select([listener], [], [], min(left, 1.0))
        if readable:
            conn, _ = listener.accept()
            threading.Thread(target=serve, args=(conn, args.source), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
