# A pyftpdlib server whose data connections are throttled, so that a transfer lasts long
# enough to be watched: python3 pyftpdlib_slow_server.py PORT ROOT USER PASSWORD BYTES_PER_SECOND
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
rate = int(sys.argv[5])
logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
dtp = ThrottledDTPHandler
dtp.read_limit = rate
dtp.write_limit = rate
handler = FTPHandler
handler.authorizer = authorizer
handler.dtp_handler = dtp
handler.masquerade_address = None
server = FTPServer(("127.0.0.1", port), handler)
server.serve_forever()
