#!/usr/bin/env python3
"""Starts Linux vkt-devsim processes for test programs running under Wine.

A Windows test cannot start the Linux simulator itself, so it asks this
broker over a loopback TCP connection: one line of tab-separated
arguments (kind, listen address, extra arguments). The broker starts
`vkt-devsim --kind KIND --listen ADDRESS EXTRA...`, answers with the port
from the simulator's "listening on" line (0 when it failed), and keeps the
simulator while the connection lasts: a "kill" line kills it at once, a
"stop" line or the end of the connection terminates it; the broker closes
the connection once the simulator is gone.

    devsim_broker.py DEVSIM_PATH PORT_FILE
writes the broker's own port to PORT_FILE and serves until killed.
"""
import os
import signal
import socket
import subprocess
import sys
import threading


def serve_client(devsim, connection):
    with connection:
        reader = connection.makefile("r", encoding="utf-8", newline="\n")
        request = reader.readline().rstrip("\n")
        if not request:
            return
        kind, listen, *extra = request.split("\t")
        child = subprocess.Popen([devsim, "--kind", kind, "--listen", listen, *extra],
                                 stdout=subprocess.PIPE, text=True)
        line = child.stdout.readline()
        port = line.rsplit(":", 1)[1].strip() if line.startswith("listening on ") else "0"
        connection.sendall((port + "\n").encode())
        command = reader.readline().strip()
        child.send_signal(signal.SIGKILL if command == "kill" else signal.SIGTERM)
        child.wait()
        child.stdout.close()


def main():
    devsim, port_file = sys.argv[1], sys.argv[2]
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(64)
    with open(port_file + ".tmp", "w") as out:
        out.write(f"{server.getsockname()[1]}\n")
    os.replace(port_file + ".tmp", port_file)
    while True:
        connection, _ = server.accept()
        threading.Thread(target=serve_client, args=(devsim, connection), daemon=True).start()


if __name__ == "__main__":
    main()
