#!/usr/bin/env python3
"""A stand-in for Lockharbour's web service, for trying the program out.

Serves the three endpoints the program uses, answering from files:

  GET  /v1/app-info   -> <dir>/app-info.json        (the update check)
  POST /v1/analytics  -> <dir>/analytics.json       (usage statistics)
  POST /v1/feedback   -> <dir>/feedback.json        (bug reports, suggestions)

Every request is printed to standard output: statistics documents as they
arrive, feedback with its form body decoded. Files are read on every request,
so they can be edited while the server runs. It listens on 127.0.0.1 only
unless told otherwise.

Point the program at it with the setting "blib.service.baseUrl", e.g. in
~/.config/Tessavond/Lockharbour.conf:

  [General]
  blib.service.baseUrl=http://127.0.0.1:8765
"""

import argparse
import http.server
import os
import sys
import time
import urllib.parse

MAX_BODY = 1024 * 1024

ROUTES = {
    ("GET", "/v1/app-info"): "app-info.json",
    ("POST", "/v1/analytics"): "analytics.json",
    ("POST", "/v1/feedback"): "feedback.json",
}


def make_handler(directory, delay, status):
    class Handler(http.server.BaseHTTPRequestHandler):
        server_version = "LockharbourServiceStub/1"

        def _answer(self, method):
            parsed = urllib.parse.urlsplit(self.path)
            body = b""
            if method == "POST":
                length = int(self.headers.get("Content-Length") or 0)
                if length < 0 or length > MAX_BODY:
                    self.send_error(413)
                    return
                body = self.rfile.read(length)

            self._log_request(method, parsed, body)
            name = ROUTES.get((method, parsed.path))
            if name is None:
                self.send_error(404)
                return
            if delay > 0:
                time.sleep(delay)
            try:
                with open(os.path.join(directory, name), "rb") as f:
                    payload = f.read()
            except OSError as error:
                print("  cannot read %s: %s" % (name, error), flush=True)
                self.send_error(500)
                return
            try:
                self.send_response(status)
                self.send_header("Content-Type", "application/json; charset=utf-8")
                self.send_header("Content-Length", str(len(payload)))
                self.end_headers()
                self.wfile.write(payload)
            except (BrokenPipeError, ConnectionResetError):
                print("  the program had stopped waiting", flush=True)

        def _log_request(self, method, parsed, body):
            print("%s %s" % (method, self.path), flush=True)
            if parsed.query:
                for key, value in urllib.parse.parse_qsl(parsed.query, keep_blank_values=True):
                    print("  %s = %r" % (key, value), flush=True)
            if body and self.headers.get("Content-Type", "").startswith("application/x-www-form-urlencoded"):
                text = body.decode("ascii", "replace")
                for key, value in urllib.parse.parse_qsl(text, keep_blank_values=True):
                    print("  %s = %r" % (key, value), flush=True)
            elif body:
                print("  body: %s" % body.decode("utf-8", "replace"), flush=True)

        def do_GET(self):
            self._answer("GET")

        def do_POST(self):
            self._answer("POST")

        def log_message(self, format, *args):
            pass  # requests are printed by _log_request

    return Handler


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Serve Lockharbour's web service endpoints from files.")
    parser.add_argument("--port", type=int, default=8765)
    parser.add_argument("--bind", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--dir", default=os.path.join(here, "service-files"),
                        help="folder with app-info.json, analytics.json and feedback.json")
    parser.add_argument("--delay", type=float, default=0.0, help="seconds to wait before each answer")
    parser.add_argument("--status", type=int, default=200, help="HTTP status of every answer (default 200)")
    args = parser.parse_args()

    server = http.server.ThreadingHTTPServer((args.bind, args.port), make_handler(args.dir, args.delay, args.status))
    print("Serving %s on http://%s:%d" % (args.dir, args.bind, server.server_address[1]), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
