# A pyftpdlib server that misbehaves on purpose, for the tests of hostile input:
#   python3 pyftpdlib_hostile_server.py PORT ROOT USER PASSWORD [FLAGS...]
# Flags: "endless-list" answers every LIST and MLSD with a listing that never ends (lines of
# a plain file, one after the other, for as long as the client reads); "slow" sends data at
# 1 MiB/s, so a test can act while a transfer runs.
import itertools
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import BufferedIteratorProducer, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
flags = sys.argv[5:]
logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")


def endless_lines():
    for n in itertools.count():
        yield ("-rw-r--r--   1 owner    group        1000 Jan 01 12:00 file%09d\r\n" % n).encode()


class Handler(FTPHandler):
    def ftp_LIST(self, path):
        if "endless-list" not in flags:
            return FTPHandler.ftp_LIST(self, path)
        self.push_dtp_data(BufferedIteratorProducer(endless_lines()), isproducer=True, cmd="LIST")
        return path

    def ftp_MLSD(self, path):
        if "endless-list" not in flags:
            return FTPHandler.ftp_MLSD(self, path)
        return self.ftp_LIST(path)


handler = Handler
handler.authorizer = authorizer
handler.masquerade_address = None
if "slow" in flags:
    ThrottledDTPHandler.read_limit = ThrottledDTPHandler.write_limit = 1024 * 1024
    handler.dtp_handler = ThrottledDTPHandler
handler.auth_failed_timeout = 0
server = FTPServer(("127.0.0.1", port), handler)
server.serve_forever()
