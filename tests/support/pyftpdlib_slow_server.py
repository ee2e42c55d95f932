# A pyftpdlib server whose data connections are throttled, so that a transfer lasts long
# enough to be watched:
#   python3 pyftpdlib_slow_server.py PORT ROOT USER PASSWORD BYTES_PER_SECOND [FLAGS...]
# Flags: "commands" logs every command received ("<- CWD /pub"), for transcripts;
# "drop-retr" answers every RETR by closing the control connection, "drop-first-retr" only
# the first one; "one-client" lets one control connection in at a time (others get 421).
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
rate = int(sys.argv[5])
flags = sys.argv[6:]
logging.basicConfig(level=logging.DEBUG if "commands" in flags else logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
dtp = ThrottledDTPHandler
dtp.read_limit = rate
dtp.write_limit = rate


retrs = [0]


class Handler(FTPHandler):
    def ftp_RETR(self, file):
        retrs[0] += 1
        if "drop-retr" in flags or ("drop-first-retr" in flags and retrs[0] == 1):
            self.close()
            return
        return FTPHandler.ftp_RETR(self, file)


handler = Handler
handler.authorizer = authorizer
handler.dtp_handler = dtp
handler.masquerade_address = None
handler.auth_failed_timeout = 0
server = FTPServer(("127.0.0.1", port), handler)
if "one-client" in flags:
    server.max_cons_per_ip = 1
server.serve_forever()
