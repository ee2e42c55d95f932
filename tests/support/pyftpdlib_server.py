# A pyftpdlib server for the tests:
#   python3 pyftpdlib_server.py PORT ROOT USER PASSWORD [commands] [host=ADDRESS]
# With "commands" every command received is logged ("<- CWD /pub"), for transcripts;
# host= names the loopback address to listen on (127.0.0.1, the default, or ::1).
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
options = sys.argv[5:]
log_commands = "commands" in options
host = next((o[5:] for o in options if o.startswith("host=")), "127.0.0.1")
logging.basicConfig(level=logging.DEBUG if log_commands else logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = authorizer
handler.auth_failed_timeout = 0  # answer a wrong password at once
handler.masquerade_address = None
server = FTPServer((host, port), handler)
server.serve_forever()
