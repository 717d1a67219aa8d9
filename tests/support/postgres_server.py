"""A throwaway PostgreSQL server for the tests and benchmarks of the records: initdb into a
temporary folder, a port of its own on the loopback and the socket in that folder, trust
authentication (nothing but this machine can reach it). As root the server runs as an
unprivileged user (postgres, else nobody), since PostgreSQL refuses to run as root.

    with PostgresServer() as server:
        uri = server.uri

Raises velmora_harness.Skip when the server's binaries are missing. The server is stopped and
its folder removed when the block ends, also when it ends with an exception.
"""

import glob
import os
import pwd
import shutil
import socket
import subprocess
import tempfile

import velmora_harness as harness

BIN_PATTERN = "/usr/lib/postgresql/*/bin"


def server_binaries():
    for directory in sorted(glob.glob(BIN_PATTERN), reverse=True):
        if os.access(os.path.join(directory, "initdb"), os.X_OK):
            return directory
    raise harness.Skip("PostgreSQL's server binaries are missing from %s "
                       "(apt-get install postgresql)" % BIN_PATTERN)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def server_user():
    """The account the server runs as, or None to run it as this one."""
    if os.geteuid() != 0:
        return None
    for name in ("postgres", "nobody"):
        try:
            return pwd.getpwnam(name)
        except KeyError:
            continue
    raise harness.Skip("running as root, and neither postgres nor nobody exists to run the "
                       "server as")


class PostgresServer:
    def __init__(self, durable=False):
        """`durable`: commits wait for the disk, as a real server's do (for timings)."""
        self.durable = durable
        self.bin = server_binaries()
        self.user = server_user()
        self.folder = tempfile.mkdtemp(prefix="velmora-postgres-")
        self.data = os.path.join(self.folder, "data")
        self.port = free_port()
        self.uri = "postgresql://velmora@127.0.0.1:%d/postgres" % self.port
        self.started = False

    def run(self, program, *arguments):
        user = self.user

        def demote():
            if user:
                os.setgid(user.pw_gid)
                os.setuid(user.pw_uid)

        environment = dict(os.environ, LC_ALL="C.UTF-8")
        if user:
            environment["HOME"] = self.folder
        result = subprocess.run([os.path.join(self.bin, program), *arguments],
                                preexec_fn=demote, env=environment, cwd=self.folder,
                                capture_output=True, text=True, timeout=120)
        if result.returncode != 0:
            raise AssertionError("%s failed (%d): %s%s" % (program, result.returncode,
                                                          result.stdout, result.stderr))
        return result

    def __enter__(self):
        try:
            if self.user:
                os.chown(self.folder, self.user.pw_uid, self.user.pw_gid)
            self.run("initdb", "-D", self.data, "-U", "velmora", "--auth=trust", "-E", "UTF8",
                     "--no-sync")
            self.started = True
            settings = "-c listen_addresses=127.0.0.1 -p %d -k %s" % (self.port, self.folder)
            if not self.durable:
                settings += " -c fsync=off"
            self.run("pg_ctl", "-D", self.data, "-l", os.path.join(self.folder, "server.log"),
                     "-w", "-t", "60", "-o", settings, "start")
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, kind, value, trace):
        if self.started:
            try:
                self.run("pg_ctl", "-D", self.data, "-m", "immediate", "-w", "stop")
            except AssertionError:
                # Never started: nothing runs.
                pass
        shutil.rmtree(self.folder, ignore_errors=True)
        return False

    def psql(self, sql):
        """Runs SQL through psql; its output."""
        return self.run("psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", self.uri,
                        "-c", sql).stdout
