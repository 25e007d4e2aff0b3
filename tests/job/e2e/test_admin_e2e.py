"""End-to-end tests of what an administrator meets on an installed system:
the archive directory, the log kept bounded by the event process, and the
printer model that a redirect asks the printer for, remembered between
jobs. Real jobs go through a private CUPS scheduler as in
test_backend_e2e.

Environment: as test_backend_e2e. Needs root (and the service account
torvelle that scripts/install-deps makes).
"""

import glob
import os
import pwd
import shutil
import stat
import subprocess
import tempfile
import unittest

import harness
from test_backend_e2e import SERVER_NAME, corpus, settings

SOURCE_DIR = os.environ.get("SW_SOURCE_DIR", "")
# Parameters of processPrintJob6: the job uid and the archive path.
PARAM_JOB_UID, PARAM_ARCHIVE_PATH = 22, 23


def service_account():
    try:
        return pwd.getpwnam("torvelle")
    except KeyError:
        return None


@unittest.skipUnless(os.geteuid() == 0 and os.path.exists(harness.CUPSD) and service_account(),
                     "needs root, cupsd and the service account")
class AdminE2E(unittest.TestCase):
    def setUp(self):
        self.env = harness.Environment(SOURCE_DIR, os.environ["SW_BACKEND"],
                                       os.environ["SW_EVENTS"], os.environ["SW_MONITOR"])
        self.addCleanup(self.env.stop, os.environ.get("SW_E2E_KEEP") == "1")
        self.ps_path, self.ps = corpus("gs-ps2write-mixed-a4.ps")

    def start(self, decision, printer_settings, config=None, queues=("q1",)):
        config = dict(config or {})
        config.setdefault("ServerName", SERVER_NAME)
        self.env.start({"default": "PRINT", "methods": {
            "spoolwarden.getPrinterConfig": printer_settings,
            "spoolwarden.processPrintJob6": decision}}, config)
        return config

    def test_the_server_hears_of_an_archive_only_when_the_copy_is_made(self):
        account = service_account()
        spool = self.env.paths["swspool"]
        closed = os.path.join(self.env.dir, "closed-archive")
        os.makedirs(closed)
        os.chmod(closed, 0o755)  # root's: the service account cannot write it
        config = self.start("PRINT", settings(archiving="Y"))
        printer = self.env.add_queue("q1")
        cases = [
            # name, ArchiveDir (None: not configured), archived, log line
            ("made under the spool directory", os.path.join(spool, "archive"), True,
             "Made the archive directory %s" % os.path.join(spool, "archive")),
            ("not configured", None, False, "No archive path configured. Cannot archive"),
            ("not writable by the service account", closed, False,
             "Unable to make directory for archive destination: %s/" % closed),
        ]
        notes = 0
        for number, (name, archive_dir, archived, line) in enumerate(cases, 1):
            with self.subTest(name):
                self.env.write_config(dict(config, ArchiveDir=archive_dir))
                job = self.env.submit("q1", self.ps_path, title=name)
                self.env.wait_done(job)
                harness.wait_for(lambda: len(printer.received()) == number, 10, "the job printed")
                self.assertEqual(printer.received()[-1], self.ps)
                call = self.env.calls("spoolwarden.processPrintJob6")[-1]
                params = [value for _, value in call["params"]]
                self.assertIn(line, self.env.log())
                if not archived:
                    self.assertEqual(params[PARAM_ARCHIVE_PATH], "")
                    # The copy said no before the decision was asked for.
                    self.assertEqual(len(self.env.calls("spoolwarden.notifyPdlCopyComplete")),
                                     notes)
                    continue
                notes += 1
                note = harness.wait_for(
                    lambda: self.env.calls("spoolwarden.notifyPdlCopyComplete")[notes - 1:],
                    20, "notifyPdlCopyComplete")[0]
                sub_path, uid = [value for _, value in note["params"]][1:3]
                self.assertEqual(params[PARAM_ARCHIVE_PATH], sub_path)
                self.assertEqual(params[PARAM_JOB_UID], uid)
                with open(os.path.join(archive_dir, sub_path, uid, "pdl.ps"), "rb") as f:
                    self.assertEqual(f.read(), self.ps)
                info = os.stat(archive_dir)
                self.assertEqual((info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode)),
                                 (0, account.pw_gid, 0o770))

    def test_a_second_redirect_does_not_wait_for_a_silent_printer(self):
        # The job's printer answers no SNMP (no agent at 127.0.0.25) and has
        # no PPD: the first redirect waits out the default time-outs (about
        # 12 s) asking it for its model, the second remembers that it did not
        # answer. Both jobs reach the target.
        decision = "REDIRECT server=%s;printer=q2;redirect-uid=0123456789abcdef;" % SERVER_NAME
        self.start(decision, settings())
        self.env.add_queue("q1", harness.LoopbackPrinter("127.0.0.25"))
        target = self.env.add_queue("q2")
        jobs = [self.env.submit("q1", self.ps_path, title="moved%d" % n) for n in (1, 2)]
        for job in jobs:
            self.env.wait_done(job, timeout=90)
        harness.wait_for(lambda: len(target.received()) == 2, 60, "both redirected copies")
        log = self.env.log()
        self.assertEqual(log.count("Creating new session for setting of printer_type: "
                                   "127.0.0.25"), 1)
        self.assertEqual(log.count("Printer 127.0.0.25 did not answer over SNMP"), 1)
        self.assertEqual(log.count("Job OTHER: user="), 2)


@unittest.skipUnless(os.geteuid() == 0 and service_account(), "needs root and the service account")
class EventsKeepTheLogBounded(unittest.TestCase):
    """The event process, run as its service unit runs it, rotates the log
    that every program writes when it grows beyond LogRotateSizeKBytes,
    keeping LogRotateNumber older logs."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="sw_logs_")
        self.addCleanup(shutil.rmtree, self.dir, True)
        os.chmod(self.dir, 0o755)
        self.server = subprocess.Popen(
            ["python3", os.path.join(SOURCE_DIR, "tools", "standins", "appserver_standin.py"),
             "--port-file", os.path.join(self.dir, "port"),
             "--log", os.path.join(self.dir, "calls.jsonl")], stdout=subprocess.DEVNULL)
        self.addCleanup(self.server.wait)
        self.addCleanup(self.server.kill)
        harness.wait_for(lambda: os.path.exists(os.path.join(self.dir, "port")), 10, "stand-in")
        with open(os.path.join(self.dir, "port")) as f:
            self.port = int(f.read())

    def run_events(self, name, log_dir, extra):
        """The event process in a directory of its own, logging to
        log_dir/spoolwarden.log; stopped at the end of the test."""
        home = os.path.join(self.dir, name)
        os.makedirs(home)
        program = os.path.join(home, "spoolwarden-events")
        shutil.copy2(os.environ["SW_EVENTS"], program)
        shutil.copy2(os.path.join(SOURCE_DIR, "tools", "install", "env-version"), home)
        values = {"ApplicationServer": "127.0.0.1", "ApplicationServerPort": str(self.port),
                  "ServerEventsPollTimeoutMillis": "1000", "Debug": "on",
                  "SpoolDir": os.path.join(home, "spool"),
                  "Logfile": os.path.join(log_dir, "spoolwarden.log"),
                  "LogRotateSizeKBytes": "1", "LogRotateNumber": "3"}
        values.update(extra)
        with open(os.path.join(home, "spoolwarden.conf"), "w") as f:
            f.write("".join("%s=%s\n" % item for item in values.items()))
        proc = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, proc)
        return proc

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.terminate()
            proc.wait(timeout=30)

    @staticmethod
    def backend_lines(log_dir, count):
        """Lines as backends append them (4 KiB in all here), to a log that
        belongs to the service account as the backends make it."""
        account = service_account()
        path = os.path.join(log_dir, "spoolwarden.log")
        with open(path, "a") as f:
            for n in range(count):
                f.write("2026-12-11 09:00:00,000 INFO : backend line %04d %s\n" % (n, "x" * 20))
        os.chown(path, account.pw_uid, account.pw_gid)
        os.chmod(path, 0o660)

    @staticmethod
    def read(path):
        with open(path, errors="replace") as f:
            return f.read()

    def test_rotation_by_the_configured_keys(self):
        account = service_account()
        # Its own long polls fill the log: rotated again and again, three
        # older logs are kept.
        own = os.path.join(self.dir, "own-logs")
        proc = self.run_events("own", own, {})
        log = os.path.join(own, "spoolwarden.log")
        oldest = harness.wait_for(lambda: os.path.exists(log + ".3") and os.stat(log + ".3"),
                                  60, "three rotations")
        # One more rotation drops the oldest: a new file takes the name .3.
        harness.wait_for(lambda: os.stat(log + ".3").st_ino != oldest.st_ino, 60,
                         "a fourth rotation")
        self.stop(proc)
        names = sorted(n for n in os.listdir(own) if not n.endswith(".lock"))
        self.assertEqual(names, ["spoolwarden.log", "spoolwarden.log.1", "spoolwarden.log.2",
                                 "spoolwarden.log.3"])
        for name in names[1:]:
            self.assertGreater(os.path.getsize(os.path.join(own, name)), 1024, name)
        info = os.stat(own)
        self.assertEqual((info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode)),
                         (0, account.pw_gid, 0o770))
        self.assertEqual(os.stat(log).st_uid, account.pw_uid)

        # With server events off the process stays to keep the log that the
        # backends write bounded.
        quiet = os.path.join(self.dir, "quiet-logs")
        os.makedirs(quiet)
        os.chown(quiet, 0, account.pw_gid)
        os.chmod(quiet, 0o770)
        self.backend_lines(quiet, 64)
        proc = self.run_events("quiet", quiet, {"ServerEventsDisable": "on", "Debug": "off"})
        harness.wait_for(lambda: os.path.exists(os.path.join(quiet, "spoolwarden.log.1")), 60,
                         "the backends' log rotated")
        self.assertIn("backend line 0063", self.read(os.path.join(quiet, "spoolwarden.log.1")))
        self.assertIsNone(proc.poll())
        self.stop(proc)

        # A directory the service account cannot write (as /var/log): said
        # once, and the log is left alone.
        shared = os.path.join(self.dir, "shared-logs")
        os.makedirs(shared)
        os.chmod(shared, 0o755)
        self.backend_lines(shared, 64)
        proc = self.run_events("shared", shared, {})
        log = os.path.join(shared, "spoolwarden.log")
        refused = "Unable to rotate the log \"%s\"" % log
        harness.wait_for(lambda: refused in self.read(log), 60, "the refusal")
        # Long polls go on (a second each here) without saying it again.
        calls = os.path.join(self.dir, "calls.jsonl")
        before = self.read(calls).count("\n")
        harness.wait_for(lambda: self.read(calls).count("\n") >= before + 3, 30, "more polls")
        self.stop(proc)
        self.assertEqual(self.read(log).count(refused), 1)
        self.assertEqual(glob.glob(log + ".*"), [])


if __name__ == "__main__":
    unittest.main()
