#!/usr/bin/env python3
"""Printer simulator: a loopback stand-in for the printer's folder-list service.

A test tool, not part of the plug-ins. It answers HTTP POST requests to
/quivo-mfp-srv with a SOAP document listing filing folders, and can also
misbehave in the ways a real printer or network may. Python 3 standard
library only.

Usage:
  printer_simulator.py [--port N] [--folder NAME]... [--locked-folder NAME]...
                       [--folders FILE.json] [--result-code TEXT | --no-result-code]
                       [--body-file FILE]
                       [--mode MODE] [--delay S] [--status N] [--size BYTES]
                       [--redirect-to URL] [--log FILE] [--lifetime S] [--verbose]

  The first line on standard output is "PORT n", the port it listens on
  (127.0.0.1 only; --port 0, the default, picks a free one). Nothing else is
  written to standard output. It stops on SIGTERM/SIGINT, or by itself after
  --lifetime seconds (default 600).

Folder list (in the order given):
  --folder NAME          an unprotected folder
  --locked-folder NAME   a folder protected by a folder password
  --folders FILE         a JSON file: a list of folders, each a name or an object
                         {"name": "Sales", "password": true, "dir": true}; an
                         object without "name" yields a folder element without
                         a "name" child. Folders of the file come first.
  --result-code TEXT     text of the "result-code" element (default "ok")
  --no-result-code       leave the "result-code" element out
  --body-file FILE       answer with the bytes of FILE instead of the folder
                         document (in every mode that sends the document)

Modes (--mode):
  ok         answer at once (default)
  late       answer after --delay seconds (default 3)
  never      accept the request and never answer (the connection stays open)
  error      answer with HTTP status --status (default 500) and a SOAP fault body
  malformed  answer 200 with a body that is not well-formed XML
  huge       answer 200 with a body of --size bytes (default 8 MiB)
  trickle    answer 200, sending the document one byte per second
  redirect   answer 302 with Location --redirect-to (default: the same service
             on host 127.0.0.2) and a small body

Request log (--log FILE): one JSON object per line for each request, written
before the answer: {"method", "path", "version", "headers": [[name, value],
...] in the order received, "body_hex": the body bytes in hexadecimal}. In
mode "never" a line {"event": "client-closed", "time": seconds} follows when
the client hangs up.

Example:
  python3 tests/tools/printer_simulator.py --folder Sales --locked-folder Board &
  # PORT 40123
  jobwick ... (set the printer address field to 127.0.0.1:40123)
"""

import argparse
import json
import re
import signal
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xml.sax.saxutils import escape

SERVICE_PATH = "/quivo-mfp-srv"
DEFAULT_NAMESPACE = "urn:quivo:mfp-srv:filing:2"

stopping = threading.Event()
log_lock = threading.Lock()


class FolderAction(argparse.Action):
    """Appends (name, protected) to the shared folder list, keeping order."""

    def __call__(self, parser, namespace, values, option_string=None):
        folders = getattr(namespace, "folders_args", None) or []
        folders.append({"name": values, "password": option_string == "--locked-folder"})
        namespace.folders_args = folders


def parse_args(argv):
    p = argparse.ArgumentParser(description="Loopback printer simulator for folder-list tests.")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--folder", action=FolderAction, dest="folder_option")
    p.add_argument("--locked-folder", action=FolderAction, dest="folder_option")
    p.add_argument("--folders", help="JSON file with the folder list")
    p.add_argument("--result-code", default="ok")
    p.add_argument("--no-result-code", action="store_true")
    p.add_argument("--mode", default="ok",
                   choices=["ok", "late", "never", "error", "malformed", "huge", "trickle",
                            "redirect"])
    p.add_argument("--delay", type=float, default=3.0)
    p.add_argument("--status", type=int, default=500)
    p.add_argument("--size", type=int, default=8 * 1024 * 1024)
    p.add_argument("--redirect-to")
    p.add_argument("--body-file")
    p.add_argument("--log")
    p.add_argument("--lifetime", type=float, default=600.0)
    p.add_argument("--verbose", action="store_true")
    args = p.parse_args(argv)
    folders = []
    if args.folders:
        with open(args.folders, encoding="utf-8") as f:
            for item in json.load(f):
                folders.append({"name": item} if isinstance(item, str) else dict(item))
    folders.extend(getattr(args, "folders_args", None) or [])
    args.folder_list = folders
    return args


def flag_text(value):
    return "true" if value is True else ("false" if value in (False, None) else str(value))


def answer_document(args, namespace):
    """The SOAP answer: envelope, body, response element with result-code and files."""
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/"'
             ' xmlns:qv="%s">' % escape(namespace, {'"': "&quot;"}),
             "<SOAP-ENV:Body>",
             "<qv:list-files-response>"]
    if not args.no_result_code:
        lines.append("<result-code>%s</result-code>" % escape(args.result_code))
    lines.append("<files>")
    for folder in args.folder_list:
        parts = ["<file>"]
        if "name" in folder:
            parts.append("<name>%s</name>" % escape(str(folder["name"])))
        parts.append("<password>%s</password>" % flag_text(folder.get("password", False)))
        parts.append("<dir>%s</dir>" % flag_text(folder.get("dir", True)))
        parts.append("</file>")
        lines.append("".join(parts))
    lines += ["</files>", "</qv:list-files-response>", "</SOAP-ENV:Body>",
              "</SOAP-ENV:Envelope>", ""]
    return "\n".join(lines).encode("utf-8")


FAULT = (b'<?xml version="1.0" encoding="utf-8"?>\n'
         b'<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/">'
         b"<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
         b"<faultstring>simulated failure</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body>"
         b"</SOAP-ENV:Envelope>\n")
MALFORMED = b'<?xml version="1.0"?>\n<SOAP-ENV:Envelope><files><file><name>Sales</files>\n'


def make_handler(args):
    class Handler(BaseHTTPRequestHandler):
        def version_string(self):
            return "QuivoMFP/1.0"

        def log_message(self, fmt, *values):
            if args.verbose:
                sys.stderr.write("simulator: " + (fmt % values) + "\n")

        def record(self, body):
            if not args.log:
                return
            entry = {"method": self.command, "path": self.path, "version": self.request_version,
                     "headers": [[k, v] for k, v in self.headers.items()],
                     "body_hex": body.hex()}
            with log_lock, open(args.log, "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")

        def record_event(self, name):
            if not args.log:
                return
            with log_lock, open(args.log, "a", encoding="utf-8") as f:
                f.write(json.dumps({"event": name, "time": time.time()}) + "\n")

        def wait_for_client_to_close(self):
            """Holds the connection without answering; logs "client-closed" when the client hangs up."""
            self.connection.settimeout(0.2)
            while not stopping.is_set():
                try:
                    if not self.connection.recv(4096):
                        break
                except socket.timeout:
                    continue
                except OSError:
                    break
            else:
                return
            self.record_event("client-closed")

        def read_body(self):
            length = int(self.headers.get("Content-Length") or 0)
            return self.rfile.read(length) if length > 0 else b""

        def send_plain(self, status, body, content_type="text/xml; charset=utf-8", extra=()):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            for name, value in extra:
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(body)

        def do_GET(self):
            self.record(b"")
            self.send_plain(405, b"method not allowed\n", "text/plain")

        def do_POST(self):
            body = self.read_body()
            self.record(body)
            if self.path != SERVICE_PATH:
                self.send_plain(404, b"not found\n", "text/plain")
                return
            found = re.search(rb'xmlns:qv="([^"]*)"', body)
            namespace = found.group(1).decode("utf-8", "replace") if found else DEFAULT_NAMESPACE
            document = answer_document(args, namespace)
            if args.body_file:
                with open(args.body_file, "rb") as f:
                    document = f.read()
            mode = args.mode
            try:
                if mode == "late":
                    if stopping.wait(args.delay):
                        return
                    self.send_plain(200, document)
                elif mode == "never":
                    self.wait_for_client_to_close()
                elif mode == "error":
                    self.send_plain(args.status, FAULT)
                elif mode == "malformed":
                    self.send_plain(200, MALFORMED)
                elif mode == "huge":
                    self.send_response(200)
                    self.send_header("Content-Type", "text/xml; charset=utf-8")
                    self.send_header("Content-Length", str(args.size))
                    self.end_headers()
                    chunk = b"<x>" + b"A" * 65533
                    left = args.size
                    while left > 0 and not stopping.is_set():
                        piece = chunk[:min(left, len(chunk))]
                        self.wfile.write(piece)
                        left -= len(piece)
                elif mode == "trickle":
                    self.send_response(200)
                    self.send_header("Content-Type", "text/xml; charset=utf-8")
                    self.send_header("Content-Length", str(len(document)))
                    self.end_headers()
                    self.wfile.flush()
                    for i in range(len(document)):
                        self.wfile.write(document[i:i + 1])
                        self.wfile.flush()
                        if stopping.wait(1.0):
                            return
                elif mode == "redirect":
                    host, port = self.server.server_address[:2]
                    target = args.redirect_to or "http://127.0.0.2:%d%s" % (port, SERVICE_PATH)
                    self.send_plain(302, b"<moved/>\n", extra=[("Location", target)])
                else:
                    self.send_plain(200, document)
            except (BrokenPipeError, ConnectionResetError):
                pass

    return Handler


def main(argv):
    args = parse_args(argv)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), make_handler(args))
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)

    def stop(*_):
        stopping.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(args.lifetime, stop)
    timer.daemon = True
    timer.start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        stopping.set()
        timer.cancel()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
