# A pyftpdlib server for the tests:
#   python3 pyftpdlib_server.py PORT ROOT USER PASSWORD [commands] [host=ADDRESS] [maxcons=N] [rate=N]
# With "commands" every command received is logged ("<- CWD /pub"), for transcripts;
# host= names the loopback address to listen on (127.0.0.1, the default, or ::1);
# maxcons= the most connections at once; rate= bytes a second on each data connection.
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
options = sys.argv[5:]
log_commands = "commands" in options
host = next((o[5:] for o in options if o.startswith("host=")), "127.0.0.1")
max_cons = int(next((o[8:] for o in options if o.startswith("maxcons=")), "0"))
rate = int(next((o[5:] for o in options if o.startswith("rate=")), "0"))
logging.basicConfig(level=logging.DEBUG if log_commands else logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = authorizer
handler.auth_failed_timeout = 0  # answer a wrong password at once
handler.masquerade_address = None
if rate:
    ThrottledDTPHandler.read_limit = rate  # bytes a second on each data connection
    ThrottledDTPHandler.write_limit = rate
    handler.dtp_handler = ThrottledDTPHandler
server = FTPServer((host, port), handler)
if max_cons:
    server.max_cons_per_ip = max_cons  # more control connections are answered 421
server.serve_forever()
