#!/usr/bin/python3
"""A loopback FTP server for the net tests (Debian's python3-pyftpdlib).

Serves a folder read-only to the named login --user/--password and to the anonymous login. The
port actually taken goes to --port-file once the server listens (--port 0 takes a free one).
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", default=os.devnull)
    parser.add_argument("--user", default="tamberly")
    parser.add_argument("--password", default="lakeside")
    args = parser.parse_args()
    logging.basicConfig(filename=args.log, level=logging.INFO)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.folder, perm="elr")
    authorizer.add_anonymous(args.folder, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.masquerade_address = None
    server = FTPServer(("127.0.0.1", args.port), handler)
    with open(args.port_file + ".part", "w") as f:
        f.write(str(server.address[1]))
    os.replace(args.port_file + ".part", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
