"""A private CUPS scheduler with the spoolwarden backend, the stand-in
application server, the event process and loopback printers, for end-to-end
tests and the demo.

Everything lives in one temporary directory and is started and stopped by
process id. Needs root (cupsd runs the backend as root) and the Debian
packages cups-daemon, cups-client and cups-bsd; uses the loopback interface
only.
"""

import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time

CUPS_LIB = "/usr/lib/cups"
CUPSD = "/usr/sbin/cupsd"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout, what, interval=0.1):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise AssertionError("timed out after %ss waiting for %s" % (timeout, what))


def corpus(name):
    """A file of the generated print-data corpus (SW_CORPUS_DIR): its path
    and bytes."""
    path = os.path.join(os.environ.get("SW_CORPUS_DIR", ""), name)
    if not os.path.exists(path):
        raise AssertionError("corpus file missing: %s" % path)
    with open(path, "rb") as f:
        return path, f.read()


class LoopbackPrinter:
    """A raw (port 9100 style) printer on a loopback address (127.0.0.1
    unless given): what each connection sends is kept, in order; with `keep`
    false only when it ended and how many bytes it brought (in `ended`), for
    jobs too large to keep. `reset_first` connections are reset by the
    printer after their first bytes (a printer that drops a job half way)
    and are not kept. `on_job(data)`, when given, runs after each job is
    received."""

    def __init__(self, host="127.0.0.1", on_job=None, reset_first=0, keep=True):
        self.host = host
        self.on_job = on_job
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((host, 0))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]
        self.jobs = []
        self.ended = []  # (time.monotonic() at the end, bytes)
        self.keep = keep
        self.resets = 0
        self.reset_first = reset_first
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with self.lock:
                reset = self.resets < self.reset_first
                if reset:
                    self.resets += 1
            target = self._reset if reset else self._receive
            threading.Thread(target=target, args=(conn,), daemon=True).start()

    @staticmethod
    def _reset(conn):
        got = 0
        while got < 65536:
            chunk = conn.recv(65536)
            if not chunk:
                break
            got += len(chunk)
        # Linger 0: the close sends a reset, as a printer that restarts does.
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        conn.close()

    def _receive(self, conn):
        data = bytearray()
        count = 0
        with conn:
            while True:
                chunk = conn.recv(1 << 20)
                if not chunk:
                    break
                count += len(chunk)
                if self.keep:
                    data += chunk
        with self.lock:
            self.ended.append((time.monotonic(), count))
            if self.keep:
                self.jobs.append(bytes(data))
        if self.on_job:
            self.on_job(bytes(data))

    def received(self):
        with self.lock:
            return list(self.jobs)

    def close(self):
        self.sock.close()


class Environment:
    """The whole set-up. `answers` is the stand-in's script (see
    tools/standins/appserver_standin.py)."""

    def __init__(self, source_dir, backend, events_program, monitor_program):
        self.source_dir = source_dir
        self.backend = backend
        self.events_program = events_program
        self.monitor_program = monitor_program
        self.dir = tempfile.mkdtemp(prefix="sw_e2e_")
        self.procs = {}
        self.printers = {}
        self.cups_port = free_port()
        self.host = "127.0.0.1:%d" % self.cups_port
        self.paths = {name: os.path.join(self.dir, name) for name in (
            "root", "bin", "spool", "tmp", "cache", "state", "logs", "sw", "swspool",
            "archive", "monitor", "events", "appserver")}
        for path in self.paths.values():
            os.makedirs(path, exist_ok=True)
        os.chmod(self.dir, 0o755)
        # The archive copy is written as the service account when it exists.
        try:
            import pwd
            account = pwd.getpwnam("torvelle")
            os.chown(self.paths["archive"], account.pw_uid, account.pw_gid)
        except KeyError:
            pass
        self.standin_log = os.path.join(self.paths["appserver"], "calls.jsonl")
        self.standin_script = os.path.join(self.paths["appserver"], "script.json")
        self.standin_events = os.path.join(self.paths["appserver"], "events.jsonl")
        self.standin_service_times = os.path.join(self.paths["appserver"], "service_ms.txt")
        self.appserver_port = None
        self.log_path = os.path.join(self.paths["sw"], "spoolwarden.log")

    # --- set-up -----------------------------------------------------------

    def start(self, answers=None, config=None):
        self.set_answers(answers or {})
        self.start_appserver()
        self._install_cups_tree(config or {})
        self._start_cupsd()

    def set_answers(self, answers):
        tmp = self.standin_script + ".tmp"
        with open(tmp, "w") as f:
            json.dump(answers, f)
        os.replace(tmp, self.standin_script)

    def start_appserver(self):
        port_file = os.path.join(self.paths["appserver"], "port")
        if os.path.exists(port_file):
            os.unlink(port_file)
        args = ["python3", os.path.join(self.source_dir, "tools", "standins", "appserver_standin.py"),
                "--port", str(self.appserver_port or 0), "--port-file", port_file,
                "--script", self.standin_script, "--log", self.standin_log,
                "--events", self.standin_events,
                "--service-times", self.standin_service_times]
        self.procs["appserver"] = subprocess.Popen(args, stdout=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(port_file), 10, "the stand-in server")
        with open(port_file) as f:
            self.appserver_port = int(f.read())

    def stop_appserver(self):
        self._stop("appserver")

    def config_text(self, extra):
        values = {
            "ApplicationServer": "127.0.0.1",
            "ApplicationServerPort": str(self.appserver_port),
            "Debug": "on",
            "Logfile": self.log_path,
            "SpoolDir": self.paths["swspool"],
            "TmpCupsSpoolDir": self.paths["tmp"],
            "CupsSpoolDir": self.paths["spool"],
            "ArchiveDir": self.paths["archive"],
            "PrintMonitorPath": os.path.join(self.paths["monitor"], "ze-zorov-eredazo"),
            "RedirectCommand": "/usr/bin/lp -h %s -d %%printer%% -t %%docname%% %%spoolfile%%"
                               % self.host,
            "ConnectTimeout": "2000",
            "NetworkTimeout": "5000",
            "ProcessJobConnectRetries": "0",
            "HoldJobOnErrorMs": "1000",
            "ServerEventsPollTimeoutMillis": "1000",
        }
        values.update(extra)
        # None removes a key: the backend's own default applies.
        return "".join("%s=%s\n" % (k, v) for k, v in values.items() if v is not None)

    def write_config(self, config):
        """The configuration (config_text of `config`) beside the backend,
        the event process and the print monitor, each with the
        environment-version file that an install puts beside it. The
        backend reads it anew for every job."""
        text = self.config_text(config)
        env_version = os.path.join(self.source_dir, "tools", "install", "env-version")
        for directory in (os.path.join(self.paths["bin"], "backend"), self.paths["events"],
                          self.paths["monitor"]):
            with open(os.path.join(directory, "spoolwarden.conf"), "w") as f:
                f.write(text)
            shutil.copy2(env_version, os.path.join(directory, "env-version"))

    def _install_cups_tree(self, config):
        bin_dir = self.paths["bin"]
        shutil.rmtree(bin_dir)
        shutil.copytree(CUPS_LIB, bin_dir, symlinks=True)
        backend_dir = os.path.join(bin_dir, "backend")
        target = os.path.join(backend_dir, "spoolwarden")
        shutil.copy2(self.backend, target)
        os.chown(target, 0, 0)
        os.chmod(target, 0o700)
        # The event process and the print monitor, each with its files beside it.
        shutil.copy2(self.events_program, os.path.join(self.paths["events"], "spoolwarden-events"))
        shutil.copy2(self.monitor_program, os.path.join(self.paths["monitor"], "ze-zorov-eredazo"))
        self.write_config(config)
        root = self.paths["root"]
        for sub in ("ppd", "ssl"):
            os.makedirs(os.path.join(root, sub), exist_ok=True)
        for name in ("spool", "tmp", "cache", "state", "logs"):
            os.chmod(self.paths[name], 0o755)
        self.cupsd_conf = os.path.join(root, "cupsd.conf")
        self.files_conf = os.path.join(root, "cups-files.conf")
        with open(self.cupsd_conf, "w") as f:
            f.write("\n".join([
                "LogLevel debug",
                "Listen 127.0.0.1:%d" % self.cups_port,
                "Listen %s" % os.path.join(root, "cups.sock"),
                "Browsing No",
                "BrowseLocalProtocols none",
                "DefaultAuthType None",
                "WebInterface No",
                "DirtyCleanInterval 0",
                "JobRetryInterval 1",
                "JobRetryLimit 1000",
                "PreserveJobHistory Yes",
                "PreserveJobFiles Yes",
                "MaxJobTime 0",
                "<Location />", "  Order allow,deny", "  Allow all", "</Location>",
                "<Policy default>", "  <Limit All>", "    Order deny,allow", "  </Limit>",
                "</Policy>", ""]))
        with open(self.files_conf, "w") as f:
            f.write("\n".join([
                "ServerRoot %s" % root,
                "ServerBin %s" % bin_dir,
                "RequestRoot %s" % self.paths["spool"],
                "TempDir %s" % self.paths["tmp"],
                "CacheDir %s" % self.paths["cache"],
                "StateDir %s" % self.paths["state"],
                "AccessLog %s" % os.path.join(self.paths["logs"], "access_log"),
                "ErrorLog %s" % os.path.join(self.paths["logs"], "error_log"),
                "PageLog %s" % os.path.join(self.paths["logs"], "page_log"),
                "FileDevice Yes",
                "Sandboxing relaxed",
                ""]))

    def _start_cupsd(self):
        env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LANG": "C"}
        self.procs["cupsd"] = subprocess.Popen(
            [CUPSD, "-f", "-c", self.cupsd_conf, "-s", self.files_conf], env=env,
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.dir, "cupsd.stderr"), "w"))

        def ready():
            if self.procs["cupsd"].poll() is not None:
                raise AssertionError("cupsd ended: %s" % self.cupsd_error_log())
            try:
                with socket.create_connection(("127.0.0.1", self.cups_port), timeout=0.5):
                    pass
            except OSError:
                return False
            # Listening is not yet answering requests.
            out = self.run(["lpstat", "-h", self.host, "-r"], check=False)
            return out.returncode == 0 and "is running" in out.stdout
        wait_for(ready, 30, "cupsd")

    def start_events(self):
        self.procs["events"] = subprocess.Popen(
            [os.path.join(self.paths["events"], "spoolwarden-events")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def add_queue(self, name, printer=None, uri=None, options=()):
        """A raw queue through the spoolwarden backend to a loopback printer
        (or to `uri`, a device URI after "spoolwarden:"); `options` are
        lpadmin -o settings such as printer-error-policy=retry-job."""
        if uri is None:
            printer = printer or LoopbackPrinter()
            self.printers[name] = printer
            uri = "socket://%s:%d" % (printer.host, printer.port)
        args = ["lpadmin", "-h", self.host, "-p", name, "-E", "-v", "spoolwarden:" + uri,
                "-m", "raw"]
        for option in options:
            args += ["-o", option]
        # A scheduler busy on a loaded machine may refuse a first attempt.
        for attempt in range(3):
            result = self.run(args, check=attempt == 2)
            if result.returncode == 0:
                break
            time.sleep(1)
        return printer

    def monitor_answers(self, text):
        with open(os.path.join(self.paths["monitor"], "ze-zorov-eredazo.answers"), "w") as f:
            f.write(text)

    def monitor_lines(self):
        path = os.path.join(self.paths["monitor"], "ze-zorov-eredazo.log")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return f.read().splitlines()

    # --- jobs ---------------------------------------------------------------

    def run(self, args, check=True):
        result = subprocess.run(args, capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError("%s failed: %s %s" % (args, result.stdout, result.stderr))
        return result

    def submit(self, queue, path, title="job", copies=1, user=None):
        args = ["lp", "-h", self.host, "-d", queue, "-t", title, "-n", str(copies)]
        if user:
            args += ["-U", user]
        out = self.run(args + [path]).stdout
        # "request id is q1-3 (1 file(s))"
        return int(out.split("request id is ")[1].split()[0].rsplit("-", 1)[1])

    def next_job_id(self):
        out = self.run(["lpstat", "-h", self.host, "-W", "all", "-o"], check=False).stdout
        ids = [int(line.split()[0].rsplit("-", 1)[1]) for line in out.splitlines() if line]
        return max(ids, default=0) + 1

    def job_done(self, job_id):
        out = self.run(["lpstat", "-h", self.host, "-W", "completed", "-o"], check=False).stdout
        return any(line.split()[0].endswith("-%d" % job_id) for line in out.splitlines() if line)

    def wait_done(self, job_id, timeout=60):
        wait_for(lambda: self.job_done(job_id), timeout, "job %d to complete" % job_id, 0.2)

    def job_state(self, job_id):
        """CUPS's job-state of a job (3 pending .. 9 completed)."""
        out = self.run(["lpstat", "-h", self.host, "-W", "all", "-l", "-o"], check=False).stdout
        return out

    def log(self):
        if not os.path.exists(self.log_path):
            return ""
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def wait_log(self, text, timeout=60):
        wait_for(lambda: text in self.log(), timeout, "log line %r" % text, 0.2)

    def calls(self, method=None):
        if not os.path.exists(self.standin_log):
            return []
        with open(self.standin_log) as f:
            records = [json.loads(line) for line in f if line.strip()]
        return [r for r in records if method is None or r["method"] == method]

    def add_event(self, event_type, value):
        with open(self.standin_events, "a") as f:
            f.write(json.dumps([event_type, str(value)]) + "\n")

    def cupsd_error_log(self):
        path = os.path.join(self.paths["logs"], "error_log")
        if not os.path.exists(path):
            return ""
        with open(path, errors="replace") as f:
            return f.read()

    # --- tear-down ------------------------------------------------------------

    def _stop(self, name):
        proc = self.procs.pop(name, None)
        if proc is None or proc.poll() is not None:
            return
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()

    def stop(self, keep=False):
        for name in ("events", "cupsd", "appserver"):
            self._stop(name)
        for printer in self.printers.values():
            printer.close()
        if not keep:
            shutil.rmtree(self.dir, ignore_errors=True)


class SnmpPrinterAgent:
    """A printer's SNMP agent: snmpsimd serving `community`.snmprec from a
    directory of its own at host:161 (root: it binds before it drops to
    nobody), with `records` (OID|tag|value lines). `set` rewrites them as
    snmpsimd notices a change: a new file renamed over the old one with a
    later whole-second mtime."""

    def __init__(self, base_dir, host, community, records):
        self.host = host
        self.community = community
        self.dir = os.path.join(base_dir, "snmp-" + host)
        self.data = os.path.join(self.dir, "data")
        cache = os.path.join(self.dir, "cache")
        os.makedirs(self.data)
        os.makedirs(cache)
        for path, mode in ((self.dir, 0o755), (self.data, 0o755), (cache, 0o777)):
            os.chmod(path, mode)
        self.mtime = 0
        self.set(records)
        with open(os.path.join(self.dir, "snmpsimd.log"), "w") as log:
            self.proc = subprocess.Popen(
                ["snmpsimd", "--process-user=nobody", "--process-group=nogroup",
                 "--data-dir=" + self.data, "--cache-dir=" + cache,
                 "--agent-udpv4-endpoint=%s:161" % host],
                stdout=log, stderr=subprocess.STDOUT)
        wait_for(lambda: self.get("1.3.6.1.2.1.1.2.0") is not None, 30, "snmpsimd at " + host)

    def set(self, records):
        path = os.path.join(self.data, self.community + ".snmprec")
        with open(path + ".new", "w") as f:
            f.write("".join(line + "\n" for line in records))
        os.chmod(path + ".new", 0o644)
        self.mtime = max(int(time.time()), self.mtime + 1)
        os.replace(path + ".new", path)
        os.utime(path, (self.mtime, self.mtime))

    def get(self, oid):
        """The value as snmpget prints it (-Oqv), or None."""
        out = subprocess.run(["snmpget", "-v2c", "-c", self.community, "-On", "-Oqv", "-t", "1",
                              "-r", "0", self.host, oid], capture_output=True, text=True)
        return out.stdout.strip() if out.returncode == 0 else None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
