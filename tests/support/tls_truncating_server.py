#!/usr/bin/python3
"""A small FTP-over-TLS server for tests of how a download's end is judged.

    tls_truncating_server.py PORT CERT KEY ANNOUNCED SENT NOTIFY

Serves one file for RETR over explicit TLS. ANNOUNCED is the size it gives in its 150 reply
(-1: none); SENT the bytes it really sends; NOTIFY 1 ends the data connection with a TLS
close notify, 0 cuts it without one (the way a truncation attack or a sloppy server does).
The file's bytes are i % 251 for i in 0..SENT-1.
"""
import socket
import ssl
import sys

port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
announced, sent, notify = int(sys.argv[4]), int(sys.argv[5]), sys.argv[6] == "1"
payload = bytes(i % 251 for i in range(sent))

context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)

listener = socket.create_server(("127.0.0.1", port))


def serve(conn):
    ctrl = conn
    reader = ctrl.makefile("rb")
    passive = None

    def say(line):
        ctrl.sendall((line + "\r\n").encode())

    say("220 tls test server")
    while True:
        raw = reader.readline()
        if not raw:
            return
        line = raw.decode(errors="replace").strip()
        verb = line.split(" ")[0].upper()
        if verb == "AUTH":
            say("234 go ahead")
            ctrl = context.wrap_socket(conn, server_side=True)
            reader = ctrl.makefile("rb")
        elif verb in ("PBSZ", "PROT", "TYPE", "OPTS"):
            say("200 ok")
        elif verb == "USER":
            say("331 password")
        elif verb == "PASS":
            say("230 in")
        elif verb in ("CWD",):
            say("250 ok")
        elif verb == "PWD":
            say('257 "/"')
        elif verb == "EPSV":
            passive = socket.create_server(("127.0.0.1", 0))
            say("229 Entering Extended Passive Mode (|||%d|)" % passive.getsockname()[1])
        elif verb == "PASV":
            passive = socket.create_server(("127.0.0.1", 0))
            p = passive.getsockname()[1]
            say("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (p // 256, p % 256))
        elif verb == "RETR" and passive is not None:
            if announced >= 0:
                say("150 Opening BINARY mode data connection for f.bin (%d bytes)" % announced)
            else:
                say("150 Opening BINARY mode data connection for f.bin")
            data, _ = passive.accept()
            passive.close()
            passive = None
            secure = context.wrap_socket(data, server_side=True)
            secure.sendall(payload)
            if notify:
                secure = secure.unwrap()
            # Without unwrap the socket closes with no close notify.
            secure.close()
            say("226 transfer complete")
        elif verb == "QUIT":
            say("221 bye")
            return
        else:
            say("502 not here")


while True:
    conn, _ = listener.accept()
    try:
        serve(conn)
    except (OSError, ssl.SSLError):
        pass
    finally:
        conn.close()
