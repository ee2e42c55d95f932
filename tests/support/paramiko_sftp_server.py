# A small SSH server with SFTP for the tests, for what OpenSSH's sshd is not set up to do
# here: password and keyboard-interactive logins.
#   python3 paramiko_sftp_server.py PORT HOST_KEY ROOT USER PASSWORD METHOD
# METHOD is "password" or "keyboard-interactive": the only way to log in it offers. The SFTP
# side serves ROOT read-only: realpath, stat, lstat, listing and reading files.
# Two kinds of file misbehave on purpose: one whose name holds "grows" is one byte longer
# than stat says (a file still being written), and closing one whose name holds
# "close-refused" fails (a server whose disk fails at the end).
import os
import socket
import sys
import threading

import paramiko

port, host_key_file, root, user, password, method = sys.argv[1:7]
host_key = paramiko.Ed25519Key.from_private_key_file(host_key_file)


class Server(paramiko.ServerInterface):
    def get_allowed_auths(self, username):
        return method

    def check_auth_password(self, username, given):
        if method == "password" and username == user and given == password:
            return paramiko.AUTH_SUCCESSFUL
        return paramiko.AUTH_FAILED

    def check_auth_interactive(self, username, submethods):
        if method != "keyboard-interactive":
            return paramiko.AUTH_FAILED
        query = paramiko.InteractiveQuery("", "")
        query.add_prompt("Password: ", False)
        self.asked = username
        return query

    def check_auth_interactive_response(self, responses):
        if getattr(self, "asked", None) == user and list(responses) == [password]:
            return paramiko.AUTH_SUCCESSFUL
        return paramiko.AUTH_FAILED

    def check_channel_request(self, kind, chanid):
        return paramiko.OPEN_SUCCEEDED if kind == "session" else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED


class Handle(paramiko.SFTPHandle):
    def close(self):
        super().close()
        if "close-refused" in self.path:
            raise OSError("close refused")


class Sftp(paramiko.SFTPServerInterface):
    def local(self, path):
        return os.path.join(root, os.path.normpath("/" + path).lstrip("/"))

    def canonicalize(self, path):
        return os.path.normpath("/" + path)

    def stat(self, path):
        try:
            attrs = paramiko.SFTPAttributes.from_stat(os.stat(self.local(path)))
            if "grows" in path:
                attrs.st_size -= 1
            return attrs
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def lstat(self, path):
        try:
            return paramiko.SFTPAttributes.from_stat(os.lstat(self.local(path)))
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def list_folder(self, path):
        try:
            folder = self.local(path)
            out = []
            for name in os.listdir(folder):
                attrs = paramiko.SFTPAttributes.from_stat(os.lstat(os.path.join(folder, name)))
                attrs.filename = name
                out.append(attrs)
            return out
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def open(self, path, flags, attr):
        if flags & (os.O_WRONLY | os.O_RDWR):
            return paramiko.SFTP_PERMISSION_DENIED
        try:
            handle = Handle(flags)
            handle.path = path
            handle.readfile = open(self.local(path), "rb")
            return handle
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)


def serve(connection):
    transport = paramiko.Transport(connection)
    transport.add_server_key(host_key)
    transport.set_subsystem_handler("sftp", paramiko.SFTPServer, Sftp)
    try:
        transport.start_server(server=Server())
        while transport.is_active():
            transport.join(1)
    except Exception:
        pass


listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(port)))
listener.listen(16)
while True:
    client, _ = listener.accept()
    threading.Thread(target=serve, args=(client,), daemon=True).start()
