#!/usr/bin/python3
"""A WS-Discovery responder that lies: it answers every Probe for itself.

  rogue_wsd.py ADDRESS STATE_FOLDER --claim NAME ... [--flood N] [--loopback-port P]
                [--elsewhere HOST]

Each --claim NAME is an endpoint whose metadata says it is computer NAME of TESTLAN, at
ADDRESS. --flood N adds N endpoints more, each with metadata answered slowly; their
XAddrs also name the client's loopback (port P), another address (HOST, port P) and a
request line with a line break, none of which a client may follow. The HTTP side writes, in STATE_FOLDER, "requests"
(one line per metadata request, the path).
Stopped by a signal.
"""
import argparse
import os
import socket
import struct
import sys
import threading
import time
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

parser = argparse.ArgumentParser()
parser.add_argument("address")
parser.add_argument("state")
parser.add_argument("--claim", action="append", default=[])
parser.add_argument("--flood", type=int, default=0)
parser.add_argument("--loopback-port", type=int, default=0)
parser.add_argument("--elsewhere", default="")
args = parser.parse_args()

HTTP_PORT = 5357
lock = threading.Lock()


def note(path):
    with lock:
        with open(os.path.join(args.state, "requests"), "a") as out:
            out.write(path + "\n")


class Metadata(BaseHTTPRequestHandler):
    def log_message(self, *unused):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        self.rfile.read(min(length, 65536))
        note(self.path)
        parts = self.path.strip("/").split("/")
        if parts[0] == "flood":
            time.sleep(0.3)
            name = "FLOOD%s" % parts[1]
        else:
            name = parts[1] if len(parts) > 1 else "NONAME"
        body = ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope '
                'xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
                'xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07"><soap:Body>'
                '<pub:Computer>%s/Workgroup:TESTLAN</pub:Computer></soap:Body></soap:Envelope>' % name).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/soap+xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def match(relates_to, endpoint, xaddrs):
    return ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope '
            'xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery"><soap:Header>'
            '<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>'
            '<wsa:MessageID>urn:uuid:%s</wsa:MessageID><wsa:RelatesTo>%s</wsa:RelatesTo></soap:Header>'
            '<soap:Body><wsd:ProbeMatches><wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>%s</wsa:Address>'
            '</wsa:EndpointReference><wsd:Types>wsdp:Device pub:Computer</wsd:Types><wsd:XAddrs>%s</wsd:XAddrs>'
            '<wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:ProbeMatch></wsd:ProbeMatches></soap:Body>'
            '</soap:Envelope>' % (uuid.uuid4(), relates_to, endpoint, xaddrs)).encode()


def replies(relates_to):
    for name in args.claim:
        yield match(relates_to, "urn:uuid:%s" % uuid.uuid5(uuid.NAMESPACE_DNS, name),
                    "http://%s:%d/claim/%s" % (args.address, HTTP_PORT, name))
    for i in range(args.flood):
        if i % 4 == 0 and args.loopback_port:
            # Its metadata "lives" on the client's own loopback.
            xaddrs = "http://127.0.0.1:%d/loopback/%d" % (args.loopback_port, i)
        elif i % 4 == 3 and args.elsewhere and args.loopback_port:
            # ... or on a computer other than the one that answers.
            xaddrs = "http://%s:%d/elsewhere/%d" % (args.elsewhere, args.loopback_port, i)
        elif i % 4 == 1:
            xaddrs = "http://%s:%d/flood/%d\r\nX-Injected:%%20yes" % (args.address, HTTP_PORT, i)
        else:
            xaddrs = "http://%s:%d/flood/%d" % (args.address, HTTP_PORT, i)
        yield match(relates_to, "urn:uuid:%08d-0000-4000-8000-%012d" % (i, i), xaddrs)


def main():
    server = ThreadingHTTPServer((args.address, HTTP_PORT), Metadata)
    server.daemon_threads = True
    server.handle_error = lambda *unused: None  # a client that hangs up is no news
    threading.Thread(target=server.serve_forever, daemon=True).start()
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    udp.bind(("", 3702))
    membership = struct.pack("4s4s", socket.inet_aton("239.255.255.250"), socket.inet_aton(args.address))
    udp.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
    send = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    send.bind((args.address, 0))
    open(os.path.join(args.state, "ready"), "w").close()
    answered = set()
    while True:
        data, sender = udp.recvfrom(65536)
        text = data.decode("utf-8", "replace")
        if "discovery/Probe<" not in text:
            continue
        start = text.find("MessageID>")
        message_id = text[start + 10:text.find("<", start + 10)] if start >= 0 else ""
        if message_id in answered:
            continue
        answered.add(message_id)
        for reply in replies(message_id):
            try:
                send.sendto(reply, sender)
            except OSError:
                time.sleep(0.001)


main()
