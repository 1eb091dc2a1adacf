#!/usr/bin/python3
"""FTP servers for the tests, on loopback only, each on a free port written to PORTFILE.

  ftpserver.py pyftpd ROOT PORTFILE USER PASSWORD   UTF-8, one writable user, no anonymous
  ftpserver.py hostile PORTFILE                     names that climb out, a transfer that breaks off
"""
import os
import socket
import sys
import threading


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


def hostile_session(conn):
    f = conn.makefile("rb")
    conn.sendall(b"220 hostile\r\n")
    data_listener = None
    offset = 0
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
            conn.sendall(b"250 ok\r\n" if cmd == "CWD" else b"200 ok\r\n")
        elif cmd == "EPSV":
            data_listener = socket.socket()
            data_listener.bind(("127.0.0.1", 0))
            data_listener.listen(1)
            port = data_listener.getsockname()[1]
            conn.sendall(("229 Entering (|||%d|)\r\n" % port).encode())
        elif cmd == "SIZE":
            big = "broken" in arg or "resume" in arg
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


def hostile(portfile):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    write_port(portfile, listener.getsockname()[1])
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=hostile_session, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    if sys.argv[1] == "pyftpd":
        pyftpd(*sys.argv[2:6])
    elif sys.argv[1] == "hostile":
        hostile(sys.argv[2])
