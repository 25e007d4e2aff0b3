"""End-to-end tests of what the backend must withstand: files planted where
root writes, CUPS retrying a printed job, servers that answer slowly or never,
a full spool disk, jobs cancelled while held, hostile titles, and the
privileges the real backend runs with. Real jobs through a private CUPS
scheduler (harness.py) unless a case runs the backend by hand as CUPS would.

Environment as test_backend_e2e.py. Needs root.
"""

import glob
import os
import pwd
import random
import resource
import shutil
import signal
import socket
import stat
import subprocess
import tempfile
import threading
import time
import unittest

import harness

SOURCE_DIR = os.environ.get("SW_SOURCE_DIR", "")
SERVER_NAME = "e2e-server"
SETTINGS = "color-detection=N;failure-mode=%s;hardware-check-mode=NONE;archiving=%s;"
ROOT_AND_CUPSD = os.geteuid() == 0 and os.path.exists(harness.CUPSD)


def settings(failure_mode="PRINT_NEW_NO_REPLAY", archiving="N"):
    return SETTINGS % (failure_mode, archiving)


def answers(decision="PRINT", printer_settings=None):
    return {"default": "PRINT", "methods": {
        "spoolwarden.getPrinterConfig": printer_settings or settings(),
        "spoolwarden.processPrintJob6": decision}}


class SilentServer:
    """An application server that accepts every connection, reads what is
    sent and never answers (or, with `trickle`, answers a header and then
    one byte a second). Keeps the request bodies it received."""

    def __init__(self, trickle=False):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(128)
        self.port = self.sock.getsockname()[1]
        self.trickle = trickle
        self.requests = []
        self.lock = threading.Lock()
        self.stopped = threading.Event()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while not self.stopped.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._hold, args=(conn,), daemon=True).start()

    def _hold(self, conn):
        data = b""
        conn.settimeout(1)
        while b"</methodCall>" not in data and not self.stopped.is_set():
            try:
                chunk = conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                break
            if not chunk:
                break
            data += chunk
        with self.lock:
            self.requests.append(data)
        try:
            if self.trickle:
                conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 900\r\n\r\n")
                while not self.stopped.wait(1):
                    conn.sendall(b" ")
            else:
                self.stopped.wait()
        except OSError:
            pass
        conn.close()

    def methods(self):
        with self.lock:
            found = []
            for r in self.requests:
                start = r.find(b"<methodName>")
                end = r.find(b"</methodName>")
                if start >= 0 and end > start:
                    found.append(r[start + 12:end].decode())
            return found

    def close(self):
        self.stopped.set()
        self.sock.close()


@unittest.skipUnless(ROOT_AND_CUPSD, "needs root and cupsd")
class SecurityE2E(unittest.TestCase):
    def setUp(self):
        self.env = harness.Environment(SOURCE_DIR, os.environ["SW_BACKEND"],
                                       os.environ["SW_EVENTS"], os.environ["SW_MONITOR"])
        self.addCleanup(self._stop)
        self.pcl_path, self.pcl = harness.corpus("gs-ljet4-text-a4.pcl")
        self.ps_path, self.ps = harness.corpus("gs-ps2write-mixed-a4.ps")

    def _stop(self):
        self.env.stop(keep=os.environ.get("SW_E2E_KEEP") == "1")

    def start(self, script, config=None, queues=("q1",), options=()):
        config = dict(config or {})
        config.setdefault("ServerName", SERVER_NAME)
        self.env.start(script, config)
        return [self.env.add_queue(q, options=options) for q in queues]

    def log_count(self, text):
        return self.env.log().count(text)

    def assertLogged(self, text):
        if text not in self.env.log():
            self.fail("not in the spoolwarden log: %r" % text)

    def write(self, name, data):
        path = os.path.join(self.env.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o644)
        return path

    # --- files made as root ------------------------------------------------

    def test_forced_copies_never_write_through_a_planted_name(self):
        """With the default settings (no TmpCupsSpoolDir) root writes the
        spool file and the forced single-copy repeats. A user who can name
        those files beforehand in a shared directory plants a link to a file
        of root's, or a file of their own: neither may be written."""
        printer, = self.start(answers({"answer": {"sleep": 1, "answer": "PRINT"}}),
                              {"TmpCupsSpoolDir": None, "CupsForceSingleCopy": "yes"})
        victim = self.write("victim", b"root's own file\n")
        os.chmod(victim, 0o600)
        planted = []
        mode = {"kind": "link"}
        stop = threading.Event()

        def plant():
            # Every spool-looking name that appears in the shared directory
            # gets its ".copies" name taken first: a link to a file of root's,
            # or a file of the planter's own.
            seen = set(os.listdir("/tmp"))
            while not stop.is_set():
                for name in set(os.listdir("/tmp")) - seen:
                    seen.add(name)
                    if not name.startswith("tv"):
                        continue
                    target = os.path.join("/tmp", name + ".copies")
                    try:
                        if mode["kind"] == "link":
                            os.symlink(victim, target)
                        else:
                            with open(target, "wb") as f:
                                f.write(b"planted\n")
                        planted.append((target, mode["kind"]))
                    except OSError:
                        pass
                time.sleep(0.001)

        watcher = threading.Thread(target=plant, daemon=True)
        watcher.start()
        try:
            for kind in ("link", "file"):
                mode["kind"] = kind
                job = self.env.submit("q1", self.pcl_path, title="copies", copies=2)
                self.env.wait_done(job)
        finally:
            stop.set()
            watcher.join()
            damaged = []
            for path, kind in planted:
                try:
                    if kind == "file":
                        with open(path, "rb") as f:
                            if f.read() != b"planted\n":
                                damaged.append(path)
                    os.unlink(path)
                except FileNotFoundError:
                    damaged.append(path)  # the backend removed what was planted
        with open(victim, "rb") as f:
            self.assertEqual(f.read(), b"root's own file\n")
        self.assertEqual(damaged, [], "planted files were written")
        self.assertEqual(printer.received(), [self.pcl * 2] * 2)
        # Spool files and repeats lived in the private directory, now empty.
        private = os.path.join(self.env.paths["swspool"], "tmp")
        self.assertEqual(stat.S_IMODE(os.stat(private).st_mode), 0o710)
        self.assertEqual(os.listdir(private), [])

    # --- one job, one record ----------------------------------------------

    def test_cups_retry_is_not_charged_twice(self):
        """The printer drops the first connection; CUPS retries the job. The
        retry carries out the recorded decision: one processPrintJob call,
        one event line, the job printed whole."""
        printer = harness.LoopbackPrinter(reset_first=1)
        self.env.start(answers(), {"ServerName": SERVER_NAME})
        self.env.add_queue("q1", printer=printer, options=("printer-error-policy=retry-job",))
        # Larger than what the sockets buffer, so that the reset reaches the
        # real backend while it still sends.
        data = random.Random(9).randbytes(16 << 20)
        job = self.env.submit("q1", self.write("once", data), title="once", user="alice")
        self.env.wait_done(job, timeout=90)
        self.assertEqual(printer.resets, 1)
        self.assertEqual(printer.received() == [data], True, "the job printed whole, once")
        self.assertEqual(len(self.env.calls("spoolwarden.processPrintJob6")), 1)
        self.assertEqual(self.log_count("Job PRINTED: user=alice printer=q1 doc=once"), 1)
        self.assertLogged("Job %d on printer q1 was decided before" % job)
        # The job ended for good: its state is gone.
        self.assertEqual(glob.glob(os.path.join(self.env.paths["swspool"], "jobstate", "*")), [])

    # --- servers that answer slowly or never ----------------------------------

    def test_trickling_server_ends_each_call_by_its_deadline(self):
        """A server that sends a header and then a byte a second: each call
        ends by its deadline and the failure mode prints the job."""
        server = SilentServer(trickle=True)
        self.addCleanup(server.close)
        printer, = self.start(answers(), {"ApplicationServerPort": str(server.port),
                                          "ConnectTimeout": "1000", "NetworkTimeout": "2000"})
        started = time.time()
        job = self.env.submit("q1", self.pcl_path, title="slow")
        self.env.wait_done(job, timeout=60)
        # Two calls (settings and decision), each within 3 s; 60 s of trickle
        # would have been allowed by a time-out per read.
        self.assertLess(time.time() - started, 30)
        self.assertEqual(printer.received(), [self.pcl])
        self.assertLogged("ran past its deadline of 3000 ms")
        self.assertEqual(server.methods().count("spoolwarden.processPrintJob6"), 1)

    def fifty_jobs(self, config):
        """Fifty jobs over ten queues at once, each of its own bytes (random
        data, and cut-off real print files among them): each printed once,
        byte for byte. The number of decision requests sent."""
        queues = ["q%d" % i for i in range(10)]
        printers = self.start(answers(), config, queues=queues)
        rng = random.Random(50)
        jobs = {}
        for i in range(50):
            if i % 5 == 0:
                data = (self.ps if i % 10 == 0 else self.pcl)[:rng.randrange(100, 20000)]
            else:
                data = rng.randbytes(4096)
            data += b"job %d\n" % i
            path = self.write("job%d" % i, data)
            queue = queues[i % len(queues)]
            jobs[self.env.submit(queue, path, title="j%d" % i)] = (queue, data)
        for job in jobs:
            self.env.wait_done(job, timeout=120)
        for queue, printer in zip(queues, printers):
            expected = sorted(d for q, d in jobs.values() if q == queue)
            self.assertEqual(sorted(printer.received()), expected, queue)

    def test_fifty_jobs_at_once_arrive_intact(self):
        self.fifty_jobs({})
        self.assertEqual(len(self.env.calls("spoolwarden.processPrintJob6")), 50)

    def test_fifty_jobs_against_a_server_that_never_answers(self):
        """The same while the server accepts and never answers: each job
        follows its failure mode within its deadlines, none is lost, none
        printed twice, and no decision request is sent twice."""
        server = SilentServer()
        self.addCleanup(server.close)
        self.fifty_jobs({"ApplicationServerPort": str(server.port), "ConnectTimeout": "1000",
                         "NetworkTimeout": "1000"})
        self.assertEqual(server.methods().count("spoolwarden.processPrintJob6"), 50)

    # --- the spool disk fills up -----------------------------------------------

    def test_full_spool_disk_keeps_the_job_for_a_retry(self):
        """The spool file does not fit the disk: nothing is sent, CUPS is told
        to retry, the log says why; once there is room the job prints whole,
        decided once."""
        small = os.path.join(self.env.dir, "small")
        os.makedirs(small)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755", "tmpfs", small],
                       check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", small])
        printer, = self.start(answers(), {"TmpCupsSpoolDir": small})
        data = random.Random(3).randbytes(3 << 20)
        job = self.env.submit("q1", self.write("big", data), title="big")
        self.env.wait_log("No space left on device", timeout=60)
        time.sleep(2)
        self.assertFalse(self.env.job_done(job))
        self.assertEqual(printer.received(), [])
        self.assertEqual(os.listdir(small), [], "a half-written spool file was left")
        self.assertEqual(self.env.calls("spoolwarden.processPrintJob6"), [])
        subprocess.run(["mount", "-o", "remount,size=64m", small], check=True)
        self.env.wait_done(job, timeout=60)
        self.assertEqual(printer.received(), [data])
        self.assertEqual(len(self.env.calls("spoolwarden.processPrintJob6")), 1)

    # --- a held job cancelled in CUPS --------------------------------------------

    def test_job_cancelled_while_held_ends_and_the_server_is_told(self):
        printer, = self.start(answers("HOLD600000"))
        job = self.env.submit("q1", self.pcl_path, title="held")
        self.env.wait_log("Instructed to hold, sleeping for 600000 milliseconds.")
        started = time.time()
        self.env.run(["cancel", "-h", self.env.host, "q1-%d" % job])
        harness.wait_for(lambda: self.env.calls("spoolwarden.cancelPrintJob"), 20,
                         "cancelPrintJob")
        self.env.wait_log("Backend for job %d ends" % job, timeout=20)
        self.assertLess(time.time() - started, 20)
        cancel, = self.env.calls("spoolwarden.cancelPrintJob")
        self.assertEqual([v for _, v in cancel["params"]][:3], [SERVER_NAME, "q1", str(job)])
        self.assertLogged("Job %d on printer q1 was cancelled while it was being decided or held"
                          % job)
        self.assertEqual(printer.received(), [])
        self.assertEqual(os.listdir(self.env.paths["tmp"]), [])

    # --- hostile titles and the log -------------------------------------------------

    def test_hostile_titles_are_never_executed(self):
        """A redirected job's title reaches the print command's shell as a
        value, never as commands."""
        marker = os.path.join(self.env.dir, "pwned")
        titles = ["$(touch %s)" % marker, "`touch %s`" % marker, "x; touch %s" % marker,
                  "x | touch %s" % marker, "x' && touch %s '" % marker]
        answer = "REDIRECT server=%s;printer=q2;redirect-uid=0123456789abcdef;" % SERVER_NAME
        first, second = self.start(answers(answer), queues=("q1", "q2"))
        for title in titles:
            job = self.env.submit("q1", self.pcl_path, title=title)
            self.env.wait_done(job)
        harness.wait_for(lambda: len(second.received()) == len(titles), 60, "redirected copies")
        self.assertFalse(os.path.exists(marker))
        self.assertEqual(first.received(), [])

    # --- the real backend's privileges ---------------------------------------------

    def test_real_backend_runs_with_the_privileges_cups_gives_it(self):
        """CUPS runs a backend as root only when others may not execute it,
        else as its user lp: the real backend behind ours runs the same way,
        and can read the job it is given."""
        self.start(answers(), queues=())
        out = os.path.join(self.env.dir, "probe")
        os.makedirs(out)
        os.chmod(out, 0o777)
        cases = {"probe700": (0o700, 0), "probe744": (0o744, 0), "probe755": (0o755, 7),
                 "probe705": (0o705, 7)}
        for name, (mode, _) in cases.items():
            path = os.path.join(self.env.paths["bin"], "backend", name)
            with open(path, "w") as f:
                f.write("#!/bin/sh\n[ $# -eq 0 ] && exit 0\nid -u > %s/%s.uid\n"
                        "cat \"$6\" > %s/%s.data\n" % (out, name, out, name))
            os.chmod(path, mode)
            self.env.add_queue(name, uri=name + "://x")
        for name in cases:
            self.env.wait_done(self.env.submit(name, self.pcl_path, title=name))
        for name, (_, uid) in cases.items():
            with self.subTest(name):
                with open(os.path.join(out, name + ".uid")) as f:
                    self.assertEqual(int(f.read()), uid)
                with open(os.path.join(out, name + ".data"), "rb") as f:
                    self.assertEqual(f.read(), self.pcl)

    # --- archives -------------------------------------------------------------------

    def test_archives_are_kept_from_other_accounts(self):
        try:
            account = pwd.getpwnam("torvelle")
        except KeyError:
            self.skipTest("no service account (scripts/install-deps makes it)")
        printer, = self.start(answers("PRINT", settings(archiving="Y")))
        job = self.env.submit("q1", self.ps_path, title="kept")
        self.env.wait_done(job)
        harness.wait_for(lambda: self.env.calls("spoolwarden.notifyPdlCopyComplete"), 20,
                         "notifyPdlCopyComplete")
        archive = self.env.paths["archive"]
        files = glob.glob(os.path.join(archive, "*", "*", "*", "*", "*", "pdl.*"))
        self.assertEqual(len(files), 1, files)
        self.assertEqual(stat.S_IMODE(os.stat(files[0]).st_mode), 0o640)
        self.assertEqual(os.stat(files[0]).st_gid, account.pw_gid)
        directory = os.path.dirname(files[0])
        while directory != archive:
            self.assertEqual(stat.S_IMODE(os.stat(directory).st_mode), 0o750, directory)
            directory = os.path.dirname(directory)


class BackendByHand(unittest.TestCase):
    """The backend run as CUPS runs it, without a scheduler: a real backend
    stand-in in its own directory compares what it was given."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="sw_byhand_")
        self.addCleanup(shutil.rmtree, self.dir, True)
        os.chmod(self.dir, 0o755)
        self.backend = os.path.join(self.dir, "spoolwarden")
        shutil.copy2(os.environ["SW_BACKEND"], self.backend)
        self.log_path = os.path.join(self.dir, "spoolwarden.log")
        self.server = subprocess.Popen(
            ["python3", os.path.join(SOURCE_DIR, "tools", "standins", "appserver_standin.py"),
             "--port-file", os.path.join(self.dir, "port"), "--log",
             os.path.join(self.dir, "calls.jsonl")], stdout=subprocess.DEVNULL)
        self.addCleanup(self.server.kill)
        harness.wait_for(lambda: os.path.exists(os.path.join(self.dir, "port")), 10, "stand-in")
        with open(os.path.join(self.dir, "port")) as f:
            port = int(f.read())
        with open(os.path.join(self.dir, "spoolwarden.conf"), "w") as f:
            f.write("".join("%s=%s\n" % item for item in {
                "ServerName": "byhand", "ApplicationServer": "127.0.0.1",
                "ApplicationServerPort": str(port), "Debug": "on", "Logfile": self.log_path,
                "SpoolDir": os.path.join(self.dir, "swspool"),
                "CupsSpoolDir": os.path.join(self.dir, "cupsspool"),
            }.items()))
        # The real backend: compares its file with the job's original.
        with open(os.path.join(self.dir, "compare"), "w") as f:
            f.write("#!/bin/sh\n[ $# -eq 0 ] && exit 0\n"
                    "if cmp -s \"$6\" \"$SW_EXPECTED\"; then echo same; else echo differs; fi "
                    "> \"$SW_VERDICT\"\n")
        os.chmod(os.path.join(self.dir, "compare"), 0o700)

    def run_backend(self, title, data_path, stdin=None):
        verdict = os.path.join(self.dir, "verdict")
        env = dict(os.environ, DEVICE_URI="spoolwarden:compare://x", PRINTER="q1",
                   SW_EXPECTED=data_path, SW_VERDICT=verdict)
        args = [self.backend, "42", "alice", title, "1", ""]
        if stdin is None:
            args.append(data_path)
        proc = subprocess.Popen(args, env=env, stdin=stdin or subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        # The backend's own memory, sampled while it runs: anonymous pages
        # only. The pages of the spool file that the analysis maps are the
        # kernel's page cache, shared and given back under pressure; they
        # grow with the file by nature and are not what "flat" is about.
        peak_anon_kib = 0
        while True:
            pid, status = os.waitpid(proc.pid, os.WNOHANG)
            if pid:
                break
            peak_anon_kib = max(peak_anon_kib, anon_kib(proc.pid))
            time.sleep(0.02)
        proc.returncode = os.waitstatus_to_exitcode(status)
        with open(verdict) as f:
            return proc.returncode, f.read().strip(), peak_anon_kib

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    @unittest.skipUnless(os.geteuid() == 0, "needs root")
    def test_title_cannot_forge_log_lines(self):
        path = os.path.join(self.dir, "job")
        with open(path, "wb") as f:
            f.write(b"\x1b%-12345X@PJL\r\nplain text\r\n")
        forged = "2016-03-01 09:05:07,042 ERROR: forged"
        status, verdict, _ = self.run_backend("report\n" + forged + "\r\n", path)
        self.assertEqual((status, verdict), (0, "same"))
        lines = self.log().splitlines()
        self.assertFalse([l for l in lines if l.startswith(forged)])
        self.assertIn("doc=report\\x0a2016-03-01 09:05:07,042 ERROR: forged\\x0d\\x0a", self.log())

    @unittest.skipUnless(os.geteuid() == 0, "needs root")
    def test_large_and_sparse_jobs_pass_whole_in_flat_memory(self):
        """A 1 GiB job and a 2.5 GB sparse one, as CUPS's file and on
        standard input: passed on byte for byte, memory flat."""
        dense = os.path.join(self.dir, "dense")
        with open(dense, "wb") as f:
            block = random.Random(1).randbytes(1 << 20)
            for _ in range(1024):
                f.write(block)
        sparse = os.path.join(self.dir, "sparse")
        with open(sparse, "wb") as f:
            f.write(b"%!PS-Adobe-3.0\n")
            f.truncate(2500 * 1000 * 1000)
        for path in (dense, sparse):
            for on_stdin in (False, True):
                with self.subTest(os.path.basename(path), on_stdin=on_stdin):
                    stdin = open(path, "rb") if on_stdin else None
                    try:
                        status, verdict, peak_anon_kib = self.run_backend("big", path, stdin)
                    finally:
                        if stdin:
                            stdin.close()
                    self.assertEqual((status, verdict), (0, "same"))
                    # Under AddressSanitizer every byte read has a shadow
                    # byte: an eighth of the mapped file is the sanitizer's.
                    shadow_kib = os.path.getsize(path) // 8 // 1024 if SANITIZED else 0
                    self.assertLess(peak_anon_kib, 128 * 1024 + shadow_kib)


SANITIZED = os.environ.get("SW_SANITIZED") == "1"


def anon_kib(pid):
    """RssAnon of a running process in KiB; 0 once it is gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


class EventsProgram(unittest.TestCase):
    """The event process run as its service unit runs it."""

    @unittest.skipUnless(os.geteuid() == 0, "needs root")
    def test_sigterm_ends_a_long_poll_at_once(self):
        directory = tempfile.mkdtemp(prefix="sw_events_")
        self.addCleanup(shutil.rmtree, directory, True)
        os.chmod(directory, 0o755)
        server = SilentServer()
        self.addCleanup(server.close)
        program = os.path.join(directory, "spoolwarden-events")
        shutil.copy2(os.environ["SW_EVENTS"], program)
        with open(os.path.join(directory, "spoolwarden.conf"), "w") as f:
            f.write("ApplicationServer=127.0.0.1\nApplicationServerPort=%d\n"
                    "ServerEventsPollTimeoutMillis=90000\nSpoolDir=%s\nLogfile=%s\n"
                    % (server.port, os.path.join(directory, "spool"),
                       os.path.join(directory, "events.log")))
        proc = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(proc.kill)
        harness.wait_for(lambda: server.methods(), 20, "the long poll")
        started = time.time()
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(timeout=30), 0)
        # The poll's own time-out is 108 s.
        self.assertLess(time.time() - started, 10)


if __name__ == "__main__":
    unittest.main()
