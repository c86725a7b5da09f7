#!/usr/bin/python3
"""A loopback HTTP server for the net tests.

Serves the files of a folder as Python's own server does (Content-Length, its 404 page) and,
below a few leading path components, answers the way a troubled server would:
  /nolength/<path>  the file without Content-Length, the end marked by closing the connection
  /cut/<path>       Content-Length of the whole file, half of it, then the connection closes
  /stall/<path>     Content-Length of the whole file, half of it, then nothing for --stall seconds
  /private/<path>   only with HTTP basic authentication as --user/--password, else 401
and, for a whole install run against it, whatever the path:
  --die-in NAME     a file of that name: half of it without Content-Length, then the server ends
  --stall-in NAME   a file of that name: as /stall/
Every request line and its headers go to --log. The port actually taken goes to --port-file once
the server listens (--port 0 takes a free one).
"""
import argparse
import base64
import http.server
import os
import socket
import sys
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", default=os.devnull)
    parser.add_argument("--stall", type=float, default=60.0)
    parser.add_argument("--user", default="tamberly")
    parser.add_argument("--password", default="lakeside")
    parser.add_argument("--die-in", default="")
    parser.add_argument("--stall-in", default="")
    args = parser.parse_args()
    log = open(args.log, "a", buffering=1)

    class Handler(http.server.SimpleHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def __init__(self, *a, **kw):
            super().__init__(*a, directory=args.folder, **kw)

        def log_message(self, fmt, *a):
            pass

        def do_GET(self):
            log.write(self.requestline + "\n" + str(self.headers) )
            for mode in ("nolength", "cut", "stall", "private"):
                prefix = "/" + mode + "/"
                if self.path.startswith(prefix):
                    self.path = "/" + self.path[len(prefix):]
                    return getattr(self, "answer_" + mode)()
            name = self.path.rsplit("/", 1)[-1]
            if args.die_in and name == args.die_in:
                return self.answer_die()
            if args.stall_in and name == args.stall_in:
                return self.answer_stall()
            return super().do_GET()

        def contents(self):
            path = self.translate_path(self.path)
            if not os.path.isfile(path):
                self.send_error(404, "File not found")
                return None
            with open(path, "rb") as f:
                return f.read()

        def head(self, length=None):
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            if length is None:
                self.send_header("Connection", "close")
            else:
                self.send_header("Content-Length", str(length))
            self.end_headers()

        def answer_nolength(self):
            data = self.contents()
            if data is None:
                return
            self.head()
            self.wfile.write(data)
            self.close_connection = True

        def half(self):
            data = self.contents()
            if data is None:
                return False
            self.head(len(data))
            self.wfile.write(data[: len(data) // 2])
            self.wfile.flush()
            return True

        def answer_cut(self):
            if self.half():
                self.connection.shutdown(socket.SHUT_RDWR)
                self.close_connection = True

        def answer_stall(self):
            if self.half():
                time.sleep(args.stall)
                self.close_connection = True

        def answer_die(self):
            data = self.contents()
            if data is None:
                return
            self.head()
            self.wfile.write(data[: len(data) // 2])
            self.wfile.flush()
            log.write("died in " + self.path + "\n")
            os._exit(0)

        def answer_private(self):
            expected = base64.b64encode(f"{args.user}:{args.password}".encode()).decode()
            if self.headers.get("Authorization", "") != "Basic " + expected:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="setup"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            return super().do_GET()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    with open(args.port_file + ".part", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".part", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
