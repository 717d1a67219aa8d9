#!/usr/bin/env python3
"""Pty peer server for serial port tests under Wine.

Usage: pty_peer.py LINK -- COMMAND [ARGUMENT...]

Runs COMMAND with VELMORA_PTY_PEER=127.0.0.1:PORT and exits with its status. Each TCP connection
to that port gets a pseudo-terminal of its own whose slave is linked at LINK (a Wine prefix's
ports/comNN, so the test opens it as COMNN); the connection closing closes the pty. Requests and
answers are text lines:
  greeting          READY COMNN
  SEND <hex>        OK                     bytes written to the master
  RECV <n> <ms>     DATA <hex>             up to n bytes from the master within ms
  LINE              LINE <rate> <two stop bits 0/1> <crtscts 0/1>
  HANGUP            OK                     the master is closed: the device goes away
  RECREATE          OK                     a new pty linked in place of the old one
"""

import os
import select
import signal
import socket
import subprocess
import sys
import termios
import threading
import time
import tty

RATES = {getattr(termios, "B%d" % rate): rate
         for rate in (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}


class Pty:
    """One pseudo-terminal with its slave linked at a path."""

    def __init__(self, link):
        self.master, slave = os.openpty()
        name = os.ttyname(slave)
        tty.setraw(slave)
        # Opened without O_NOCTTY, so the pty becomes this session's controlling terminal and
        # not Wine's server's, which would otherwise get (and report) the SIGHUP of a hang-up.
        # The held slave also keeps the pty alive while the port under test is closed.
        self.slave = os.open(name, os.O_RDWR)
        os.close(slave)
        os.makedirs(os.path.dirname(link), exist_ok=True)
        temporary = link + ".new"
        if os.path.lexists(temporary):
            os.unlink(temporary)
        os.symlink(name, temporary)
        os.replace(temporary, link)

    def close(self):
        if self.master is not None:
            os.close(self.master)
            os.close(self.slave)
            self.master = None

    def send(self, data):
        while data:
            data = data[os.write(self.master, data):]

    def receive(self, count, milliseconds):
        data = b""
        deadline = time.monotonic() + milliseconds / 1000.0
        while len(data) < count:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.master], [], [], left)[0]:
                break
            try:
                chunk = os.read(self.master, count - len(data))
            except OSError:
                break
            if not chunk:
                break
            data += chunk
        return data

    def line(self):
        attributes = termios.tcgetattr(self.master)
        cflag, ospeed = attributes[2], attributes[5]
        return "LINE %d %d %d" % (RATES.get(ospeed, 0), 1 if cflag & termios.CSTOPB else 0,
                                  1 if cflag & termios.CRTSCTS else 0)


class Session:
    """One client connection and the pty that it drives."""

    def __init__(self, link):
        self.link = link
        self.pty = Pty(link)

    def answer(self, request):
        word, _, rest = request.partition(" ")
        if word == "SEND":
            self.pty.send(bytes.fromhex(rest))
            return "OK"
        if word == "RECV":
            count, milliseconds = (int(value) for value in rest.split())
            return "DATA " + self.pty.receive(count, milliseconds).hex()
        if word == "LINE":
            return self.pty.line()
        if word == "HANGUP":
            self.pty.close()
            return "OK"
        if word == "RECREATE":
            self.pty.close()
            self.pty = Pty(self.link)
            return "OK"
        return "ERROR unknown request " + word

    def close(self):
        self.pty.close()


def converse(connection, link, port_name):
    session = None
    try:
        with connection, connection.makefile("rw", newline="\n") as stream:
            session = Session(link)
            stream.write("READY %s\n" % port_name)
            stream.flush()
            for request in stream:
                stream.write(session.answer(request.strip()) + "\n")
                stream.flush()
    except Exception as error:
        # The test sees the connection close and fails the request that went unanswered; the
        # server itself stays up for the tests that follow.
        print("pty_peer.py: %r" % error, file=sys.stderr)
    finally:
        if session is not None:
            session.close()


def serve(listener, link, port_name):
    while True:
        connection, _ = listener.accept()
        converse(connection, link, port_name)


def own_session():
    """Makes this process a session leader, so that a pty it opens becomes its terminal."""
    try:
        os.setsid()
    except PermissionError:
        # Already a process group leader: a child can start the session instead.
        child = os.fork()
        if child:
            _, status = os.waitpid(child, 0)
            sys.exit(os.waitstatus_to_exitcode(status))
        os.setsid()


def main(arguments):
    if len(arguments) < 3 or arguments[1] != "--":
        sys.exit(__doc__)
    link, command = os.path.abspath(arguments[0]), arguments[2:]
    own_session()
    # A hang-up is sent to the terminal's session: this one, which expects it.
    signal.signal(signal.SIGHUP, signal.SIG_IGN)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    port_name = os.path.basename(link).upper()
    threading.Thread(target=serve, args=(listener, link, port_name), daemon=True).start()
    environment = dict(os.environ, VELMORA_PTY_PEER="127.0.0.1:%d" % listener.getsockname()[1])
    # The test runs in a session of its own, out of reach of the terminal's hang-ups.
    status = subprocess.call(command, env=environment, start_new_session=True)
    if os.path.lexists(link):
        os.unlink(link)
    sys.exit(status)


if __name__ == "__main__":
    main(sys.argv[1:])
