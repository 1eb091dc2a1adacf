#!/usr/bin/python3
"""FTP servers for the tests, on loopback only, each on a free port written to PORTFILE.

  ftpserver.py pyftpd ROOT PORTFILE USER PASSWORD   UTF-8, one writable user, no anonymous
  ftpserver.py hostile PORTFILE                     names that climb out, a transfer that breaks off
  ftpserver.py unruly PORTFILE                      listings that never end, drip, break off, pause
"""
import os
import socket
import sys
import threading
import time


def write_port(path, port):
    with open(path + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(path + ".tmp", path)


def pyftpd(root, portfile, user, password):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    logging.disable(logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.auth_failed_timeout = 0
    server = FTPServer(("127.0.0.1", 0), handler)
    write_port(portfile, server.socket.getsockname()[1])
    server.serve_forever()


# A server of a few commands that lies: its listing names climb out of the folder and its
# file transfer stops halfway, and a listing whose reply never comes.
HOSTILE_LIST = (
    b"-rw-r--r-- 1 u g 5 Jan 02 2024 ../escape.txt\r\n"
    b"-rw-r--r-- 1 u g 5 Jan 02 2024 /etc/absolute.txt\r\n"
    b"-rw-r--r-- 1 u g 5 Jan 02 2024 sub/inner.txt\r\n"
    b"-rw-r--r-- 1 u g 5 Jan 02 2024 back\\slash.txt\r\n"
    b"drwxr-xr-x 1 u g 0 Jan 02 2024 ..\r\n"
    b"-rw-r--r-- 1 u g 5 Jan 02 2024 good.txt\r\n"
    b"-rw-r--r-- 1 u g 100000 Jan 02 2024 broken.bin\r\n"
    b"-rw-r--r-- 1 u g 100000 Jan 02 2024 resume.bin\r\n"
)
# resume.bin breaks off after 40000 bytes unless it is asked for from an offset (REST):
# only a client that goes on from where it broke off ever gets all of it.
RESUME = bytes(i % 251 for i in range(100000))


def hostile_session(conn, unruly=None):
    f = conn.makefile("rb")
    conn.sendall(b"220 hostile\r\n")
    data_listener = None
    offset = 0
    cwd = "/"
    while True:
        line = f.readline()
        if not line:
            break
        words = line.decode("latin-1").strip().split(" ", 1)
        cmd = words[0].upper()
        arg = words[1] if len(words) > 1 else ""
        if cmd == "USER":
            conn.sendall(b"331 password\r\n")
        elif cmd == "PASS":
            conn.sendall(b"230 in\r\n")
        elif cmd == "PWD":
            conn.sendall(b'257 "/"\r\n')
        elif cmd in ("CWD", "TYPE"):
            if cmd == "CWD":
                cwd = arg
            conn.sendall(b"250 ok\r\n" if cmd == "CWD" else b"200 ok\r\n")
        elif cmd == "EPSV":
            data_listener = socket.socket()
            data_listener.bind(("127.0.0.1", 0))
            data_listener.listen(1)
            port = data_listener.getsockname()[1]
            conn.sendall(("229 Entering (|||%d|)\r\n" % port).encode())
        elif cmd == "SIZE":
            big = "broken" in arg or "resume" in arg or "pause" in arg
            conn.sendall(b"213 100000\r\n" if big else b"213 5\r\n")
        elif cmd == "REST":
            offset = int(arg)
            conn.sendall(b"350 restarting\r\n")
        elif cmd in ("LIST", "RETR"):
            if data_listener is None:
                conn.sendall(b"425 no data connection\r\n")
                continue
            if cmd == "RETR" and "stall" in arg:
                conn.sendall(b"150 here it comes\r\n")
                continue  # neither data nor a reply: the client's time-out ends it
            conn.sendall(b"150 here it comes\r\n")
            data, _ = data_listener.accept()
            if unruly is not None:
                data_listener.close()
                data_listener = None
                if not unruly(conn, data, cmd, cwd, arg):
                    break
                continue
            if cmd == "LIST":
                data.sendall(HOSTILE_LIST)
            elif "broken" in arg:
                data.sendall(b"x" * 40000)
            elif "resume" in arg:
                data.sendall(RESUME[offset:] if offset else RESUME[:40000])
            else:
                data.sendall(b"hello")
            data.close()
            data_listener.close()
            data_listener = None
            offset = 0
            conn.sendall(b"226 done\r\n")
        elif cmd == "QUIT":
            conn.sendall(b"221 bye\r\n")
            break
        else:
            conn.sendall(b"502 no\r\n")
    conn.close()


# The unruly server's folders: "/endless" and "/flood" never end their listing (long lines,
# empty lines), "/drip" sends one byte a second, "/dates" has lines dated as no calendar
# is, "/breaks" and RETR "breaks.bin" stop halfway and hang up, "/pause" and RETR
# "pause.bin" stop halfway and wait (PORTFILE.paused says so: the test then stops the
# server) until the client gives up. The root lists "good.txt" and the folders "dates"
# and "pause"; any other folder lists "good.txt" alone.
GOOD_LINE = b"-rw-r--r-- 1 u g 5 Jan 02 2024 good.txt\r\n"
ROOT_LIST = (
    GOOD_LINE
    + b"drwxr-xr-x 1 u g 0 Mar 03 2023 dates\r\n"
    + b"drwxr-xr-x 1 u g 0 Mar 03 2023 pause\r\n"
)
DATED_LIST = (
    GOOD_LINE
    + b"-rw-r--r-- 1 u g 5 Jan  0  2020 zero.txt\r\n"
    + b"-rw-r--r-- 1 u g 5 Feb 30 2024 feb30.txt\r\n"
    + b"-rw-r--r-- 1 u g 5 Jun 10 25:00 hour25.txt\r\n"
    + b"drwxr-xr-x 1 u g 0 Mar 03 2023 sub\r\n"
)


def unruly_transfer(portfile):
    def send_forever(data, chunk):
        try:
            while True:
                data.sendall(chunk)
        except OSError:
            pass

    def wait_until_closed(data):
        with open(portfile + ".paused", "w") as marker:
            marker.write("paused")
        try:
            while data.recv(4096):
                pass
        except OSError:
            pass

    def transfer(conn, data, cmd, cwd, arg):
        """Answers one LIST or RETR on `data`; False when the control connection is to end."""
        where = arg if cmd == "RETR" else cwd
        if cmd == "LIST" and "endless" in where:
            send_forever(data, (b"-rw-r--r-- 1 u g 5 Jan 02 2024 " + b"n" * 4000 + b"\r\n") * 16)
        elif cmd == "LIST" and "flood" in where:
            send_forever(data, b"\n" * 65536)
        elif cmd == "LIST" and "drip" in where:
            try:
                for byte in GOOD_LINE * 100:
                    data.sendall(bytes([byte]))
                    time.sleep(1)
            except OSError:
                pass
        elif "breaks" in where:
            data.sendall((GOOD_LINE * 50)[:1000] if cmd == "LIST" else b"x" * 40000)
            data.close()
            conn.close()
            return False
        elif "pause" in where:
            data.sendall((GOOD_LINE * 50)[:1000] if cmd == "LIST" else b"x" * 40000)
            wait_until_closed(data)
        elif cmd == "LIST":
            data.sendall(DATED_LIST if where.rstrip("/").endswith("dates")
                         else ROOT_LIST if where.strip("/") == "" else GOOD_LINE)
        else:
            data.sendall(b"hello")
        data.close()
        try:
            conn.sendall(b"226 done\r\n")
        except OSError:
            return False
        return True

    return transfer


def hostile(portfile, unruly=None):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    write_port(portfile, listener.getsockname()[1])
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=hostile_session, args=(conn, unruly), daemon=True).start()


if __name__ == "__main__":
    if sys.argv[1] == "pyftpd":
        pyftpd(*sys.argv[2:6])
    elif sys.argv[1] == "hostile":
        hostile(sys.argv[2])
    elif sys.argv[1] == "unruly":
        hostile(sys.argv[2], unruly_transfer(sys.argv[2]))
