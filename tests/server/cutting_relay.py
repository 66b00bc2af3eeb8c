#!/usr/bin/env python3
"""A TCP relay on a free 127.0.0.1 port in front of a real HTTP server, for
tests: the n-th connection's answer is cut after the n-th count of bytes of
--cuts (a negative count or a connection past the list: not cut). After the
first cut it may replace a served file (--replace NEW OLD), so the next
request meets a new version. Writes its port to --port-file."""
import argparse
import os
import shutil
import socket
import threading


def pump(source, sink, limit, on_cut):
    """Copies source to sink; with limit >= 0, cuts both after that many bytes."""
    sent = 0
    try:
        while True:
            want = 65536 if limit < 0 else min(65536, limit - sent)
            if want == 0:
                on_cut()
                break
            data = source.recv(want)
            if not data:
                break
            sink.sendall(data)
            sent += len(data)
    except OSError:
        pass
    for s in (source, sink):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--target-port", type=int, required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--cuts", default="", help="comma-separated byte counts, one per connection")
    parser.add_argument("--replace", nargs=2, metavar=("NEW", "OLD"))
    args = parser.parse_args()
    cuts = [int(c) for c in args.cuts.split(",") if c.strip()]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    replaced = threading.Event()

    def on_cut():
        if args.replace and not replaced.is_set():
            replaced.set()
            shutil.copyfile(args.replace[0], args.replace[1] + ".new")
            os.replace(args.replace[1] + ".new", args.replace[1])

    number = 0
    while True:
        client, _ = listener.accept()
        limit = cuts[number] if number < len(cuts) else -1
        number += 1
        server = socket.create_connection(("127.0.0.1", args.target_port))
        threading.Thread(target=pump, args=(client, server, -1, lambda: None), daemon=True).start()
        threading.Thread(target=pump, args=(server, client, limit, on_cut), daemon=True).start()


if __name__ == "__main__":
    main()
