# A small FTP server for tests that misbehaves on purpose, one thread per connection:
#   python3 faulty_ftp_server.py PORT ROOT USER PASSWORD [FAULT[:TIMES]...]
# It serves the files below ROOT (LIST, SIZE, MDTM, RETR with REST, STOR, MKD, CWD) over
# PASV and EPSV. Each FAULT fires the first TIMES times its moment comes (every time
# without a count), counted over all connections:
#   drop-mid-retr    RETR sends half of what it would send, then closes data and control
#   drop-after-pasv  the 227 (or 229) reply is sent, then the control connection is closed
#   drop-on-retr     RETR, its passive reply given, closes the control connection unanswered
#   drop-after-retr  a whole RETR ends with 226, then the control connection is closed
#   mute-retr        RETR is never answered (the connection stays open)
#   hold-data        RETR sends all bytes but never closes the data connection nor says 226
#   bad-epsv         EPSV is answered with a reply that cannot be read (port 1000000)
#   refuse-mkd       MKD is answered "550 Permission denied"
#   short-retr       RETR announces the whole size "(N bytes)", sends half, closes the data
#                    connection and says 226 as if all had gone
#   drop-mid-stor    STOR keeps the first MiB it receives, then closes control and data
#   hold-list        LIST sends its first line, then the rest only once ROOT/.go exists (30 s at most)
#   drop-mid-list    LIST sends its first line, then closes data and control
# Every command received is printed as "<- COMMAND" (PASS masked).
import os
import socket
import sys
import threading
import time

port, root, user, password = int(sys.argv[1]), os.path.realpath(sys.argv[2]), sys.argv[3], sys.argv[4]
faults = {}
for arg in sys.argv[5:]:
    name, _, times = arg.partition(":")
    faults[name] = int(times) if times else -1
lock = threading.Lock()
held = []  # data sockets kept open on purpose


def fire(name):
    with lock:
        left = faults.get(name, 0)
        if left == 0:
            return False
        if left > 0:
            faults[name] = left - 1
        return True


def log(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


class Session:
    def __init__(self, conn):
        self.conn = conn
        self.file = conn.makefile("rb")
        self.cwd = "/"
        self.listener = None
        self.rest = 0
        self.logged_in = False

    def reply(self, text):
        self.conn.sendall(text.encode("utf-8", "surrogateescape") + b"\r\n")

    def local(self, path):
        full = path if path.startswith("/") else self.cwd.rstrip("/") + "/" + path
        real = os.path.realpath(os.path.join(root, full.lstrip("/")))
        if real != root and not real.startswith(root + os.sep):
            return None
        return real

    def open_listener(self):
        if self.listener:
            self.listener.close()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.listener.settimeout(10)
        return self.listener.getsockname()[1]

    def accept_data(self):
        if not self.listener:
            self.reply("425 Use PASV first")
            return None
        try:
            data, _ = self.listener.accept()
        except OSError:
            self.reply("425 No data connection")
            return None
        finally:
            self.listener.close()
            self.listener = None
        return data

    def drop(self):
        try:
            self.conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.conn.close()

    def run(self):
        self.reply("220 faulty test server")
        while True:
            raw = self.file.readline()
            if not raw:
                return
            line = raw.rstrip(b"\r\n").decode("utf-8", "surrogateescape")
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            log("<- " + (verb + " ****" if verb == "PASS" else line))
            if self.command(verb, arg) is False:
                return

    def command(self, verb, arg):
        if verb == "USER":
            self.reply("331 Password please")
        elif verb == "PASS":
            self.logged_in = arg == password
            self.reply("230 Logged in" if self.logged_in else "530 Login incorrect")
        elif verb == "QUIT":
            self.reply("221 Bye")
            self.drop()
            return False
        elif not self.logged_in:
            self.reply("530 Log in first")
        elif verb == "SYST":
            self.reply("215 UNIX Type: L8")
        elif verb == "FEAT":
            self.conn.sendall(b"211-Features:\r\n SIZE\r\n MDTM\r\n REST STREAM\r\n EPSV\r\n211 End\r\n")
        elif verb == "PWD":
            self.reply('257 "%s" is the current folder' % self.cwd)
        elif verb == "CWD":
            target = self.local(arg)
            if target and os.path.isdir(target):
                self.cwd = "/" if target == root else "/" + os.path.relpath(target, root)
                self.reply("250 OK")
            else:
                self.reply("550 No such folder")
        elif verb == "CDUP":
            self.cwd = os.path.dirname(self.cwd.rstrip("/")) or "/"
            self.reply("250 OK")
        elif verb in ("TYPE", "MODE", "STRU", "NOOP", "OPTS", "CLNT", "ALLO"):
            self.reply("200 OK")
        elif verb == "PASV":
            p = self.open_listener()
            self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (p >> 8, p & 255))
            if fire("drop-after-pasv"):
                self.drop()
                return False
        elif verb == "EPSV":
            p = self.open_listener()
            if fire("bad-epsv"):
                self.reply("229 Entering Extended Passive Mode (|||1000000|)")
            else:
                self.reply("229 Entering Extended Passive Mode (|||%d|)" % p)
                if fire("drop-after-pasv"):
                    self.drop()
                    return False
        elif verb == "REST":
            self.rest = int(arg) if arg.isdigit() else 0
            self.reply("350 Restarting at %d" % self.rest)
        elif verb == "SIZE":
            target = self.local(arg)
            if target and os.path.isfile(target):
                self.reply("213 %d" % os.path.getsize(target))
            else:
                self.reply("550 No such file")
        elif verb == "MDTM":
            target = self.local(arg)
            if target and os.path.isfile(target):
                self.reply("213 " + time.strftime("%Y%m%d%H%M%S", time.gmtime(os.path.getmtime(target))))
            else:
                self.reply("550 No such file")
        elif verb in ("LIST", "NLST"):
            return self.list(verb, arg)
        elif verb == "RETR":
            return self.retr(arg)
        elif verb == "STOR":
            return self.stor(arg)
        elif verb == "MKD" and fire("refuse-mkd"):
            self.reply("550 Permission denied")
        elif verb == "MKD":
            target = self.local(arg)
            try:
                os.mkdir(target)
                self.reply('257 "%s" created' % arg)
            except (OSError, TypeError):
                self.reply("550 Cannot create " + arg)
        else:
            self.reply("502 Not implemented")
        return True

    def list(self, verb, arg):
        path = "" if arg.startswith("-") else arg
        target = self.local(path or self.cwd)
        if not target or not os.path.isdir(target):
            self.reply("550 No such folder")
            return
        data = self.accept_data()
        if not data:
            return
        self.reply("150 Here comes the listing")
        lines = []
        for name in sorted(os.listdir(target)):
            full = os.path.join(target, name)
            if verb == "NLST":
                lines.append(name)
            elif os.path.isdir(full):
                lines.append("drwxr-xr-x 1 ftp ftp %12d Jan 01  2024 %s" % (0, name))
            else:
                lines.append("-rw-r--r-- 1 ftp ftp %12d Jan 01  2024 %s" % (os.path.getsize(full), name))
        text = "".join(l + "\r\n" for l in lines).encode("utf-8", "surrogateescape")
        if lines and fire("drop-mid-list"):
            data.sendall(text[: len(lines[0].encode("utf-8", "surrogateescape")) + 2])
            time.sleep(0.2)
            data.close()
            self.drop()
            return False
        if lines and fire("hold-list"):
            first = len(lines[0].encode("utf-8", "surrogateescape")) + 2
            data.sendall(text[:first])
            gate = os.path.join(root, ".go")
            deadline = time.time() + 30
            while not os.path.exists(gate) and time.time() < deadline:
                time.sleep(0.02)
            text = text[first:]
        data.sendall(text)
        data.close()
        self.reply("226 Listing sent")

    def retr(self, arg):
        target = self.local(arg)
        rest, self.rest = self.rest, 0
        if not target or not os.path.isfile(target):
            self.reply("550 No such file")
            return True
        if fire("drop-on-retr"):
            self.drop()
            return False
        if fire("mute-retr"):
            return True
        data = self.accept_data()
        if not data:
            return True
        with open(target, "rb") as f:
            f.seek(rest)
            body = f.read()
        if fire("short-retr"):
            self.reply("150 Opening data connection for %s (%d bytes)" % (arg, len(body)))
            data.sendall(body[: len(body) // 2])
            data.close()
            self.reply("226 Transfer complete")
            return True
        self.reply("150 Sending %d bytes" % len(body))
        if fire("drop-mid-retr"):
            data.sendall(body[: len(body) // 2])
            time.sleep(0.2)
            data.close()
            self.drop()
            return False
        data.sendall(body)
        if fire("hold-data"):
            held.append(data)
            return True
        data.close()
        self.reply("226 Transfer complete")
        if fire("drop-after-retr"):
            self.drop()
            return False
        return True

    def stor(self, arg):
        target = self.local(arg)
        rest, self.rest = self.rest, 0
        if not target or not os.path.isdir(os.path.dirname(target)):
            self.reply("553 Cannot store " + arg)
            return
        data = self.accept_data()
        if not data:
            return
        self.reply("150 Send it")
        with open(target, "r+b" if rest and os.path.exists(target) else "wb") as f:
            f.seek(rest)
            f.truncate()
            if fire("drop-mid-stor"):
                # The file holds exactly the first MiB before the client can learn anything.
                kept = b""
                while len(kept) < 1024 * 1024:
                    chunk = data.recv(65536)
                    if not chunk:
                        break
                    kept += chunk
                f.write(kept[: 1024 * 1024])
                f.close()
                self.drop()
                data.close()
                return False
            while True:
                chunk = data.recv(65536)
                if not chunk:
                    break
                f.write(chunk)
        data.close()
        self.reply("226 Stored")
        return True


def serve(conn):
    try:
        Session(conn).run()
    except OSError:
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", port))
server.listen(8)
while True:
    client, _ = server.accept()
    threading.Thread(target=serve, args=(client,), daemon=True).start()
