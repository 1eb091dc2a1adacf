#!/usr/bin/python3
"""Sends one browse announcement as a computer of the test LAN would, so that a master
browser lists an entry that no live computer stands behind (a stale one).

  nb-announce.py host   NAMEHEX WORKGROUP BROADCAST   a server in WORKGROUP's list
  nb-announce.py domain NAMEHEX MASTER    BROADCAST   a workgroup in the list of workgroups

NAMEHEX is the name's bytes in hexadecimal, so that any bytes can be announced, also ones
no code page decodes. Only for the test's own network namespaces.
"""
import socket
import struct
import sys


def netbios_name(raw, kind):
    """First-level encoding of a 16-byte NetBIOS name (RFC 1001)."""
    padded = raw[:15].ljust(15, b" ") + bytes([kind])
    encoded = bytes(ord("A") + half for c in padded for half in (c >> 4, c & 15))
    return bytes([32]) + encoded + b"\0"


def announcement(opcode, name, server_type, comment):
    return (struct.pack("<BBI", opcode, 1, 12 * 60 * 1000) + name[:15].ljust(16, b"\0")
            + struct.pack("<BBIBBH", 4, 0, server_type, 15, 1, 0xAA55) + comment + b"\0")


def mailslot(data):
    name = b"\\MAILSLOT\\BROWSE\0"
    header = b"\xffSMB" + struct.pack("<BIBHH8sHHHHH", 0x25, 0, 0, 0, 0, b"\0" * 8, 0, 0, 0, 0, 0)
    data_offset = 32 + 1 + 17 * 2 + 2 + len(name)
    words = struct.pack("<HHHHBBHIHHHHHBB", 0, len(data), 0, 0, 0, 0, 0, 0, 0, 0, data_offset,
                        len(data), data_offset, 3, 0) + struct.pack("<HHH", 1, 1, 2)
    return header + bytes([17]) + words + struct.pack("<H", len(name) + len(data)) + name + data


def main():
    kind, name_hex, other, broadcast = sys.argv[1:5]
    name = bytes.fromhex(name_hex)
    if kind == "host":
        source = netbios_name(name, 0x00)
        destination = netbios_name(other.encode(), 0x1D)
        body = announcement(1, name, 0x00001003, b"stale")
    else:
        source = netbios_name(other.encode(), 0x00)
        destination = netbios_name(b"\x01\x02__MSBROWSE__\x02", 0x01)
        body = announcement(12, name, 0x80001000, other.encode())
    payload = source + destination + mailslot(body)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        probe.connect((broadcast, 138))  # sends nothing: finds the address we send from
        own = probe.getsockname()[0]
    header = struct.pack(">BBH4sHHH", 0x11, 0x02, 1, socket.inet_aton(own), 138, len(payload), 0)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        sock.bind(("", 138))
        sock.sendto(header + payload, (broadcast, 138))

if __name__ == "__main__":
    main()
