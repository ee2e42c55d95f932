#!/usr/bin/python3
"""A pyftpdlib server on 127.0.0.1 for the tests: one user with full rights over a root
folder, optional anonymous read/write access. Prints "PORT <n>" once it listens."""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--user", default="anna")
    ap.add_argument("--password", default="secret")
    ap.add_argument("--anonymous", action="store_true")
    ap.add_argument("--port", type=int, default=0)
    args = ap.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm="elradfmwMT")

    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Kestrin test server (pyftpdlib) ready."
    handler.timeout = 120
    # A wrong password is answered at once; the tests have no brute-force attacker to slow.
    handler.auth_failed_timeout = 0
    server = FTPServer(("127.0.0.1", args.port), handler)
    server.max_cons = 64
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
