"""End-to-end tests of the CUPS backend on a private CUPS scheduler: real
jobs submitted with lp, decided by the stand-in application server, printed
by CUPS's socket backend to loopback printers.

Environment: SW_SOURCE_DIR, SW_BACKEND, SW_EVENTS, SW_MONITOR (programs),
SW_CORPUS_DIR (the generated print-data corpus). Needs root.
"""

import glob
import gzip
import os
import shutil
import tempfile
import time
import unittest

import harness

SOURCE_DIR = os.environ.get("SW_SOURCE_DIR", "")
SERVER_NAME = "e2e-server"

SETTINGS = "color-detection=%s;failure-mode=%s;hardware-check-mode=%s;archiving=%s;"


def settings(failure_mode="PRINT_NEW_NO_REPLAY", hwcheck="NONE", archiving="N", colour="N"):
    return SETTINGS % (colour, failure_mode, hwcheck, archiving)


corpus = harness.corpus


@unittest.skipUnless(os.geteuid() == 0 and os.path.exists(harness.CUPSD),
                     "needs root and cupsd")
class BackendE2E(unittest.TestCase):
    def setUp(self):
        self.env = harness.Environment(SOURCE_DIR, os.environ["SW_BACKEND"],
                                       os.environ["SW_EVENTS"], os.environ["SW_MONITOR"])
        self.addCleanup(self._stop)
        self.ps_path, self.ps = corpus("gs-ps2write-mixed-a4.ps")
        self.pcl_path, self.pcl = corpus("gs-ljet4-text-a4.pcl")

    def _stop(self):
        keep = os.environ.get("SW_E2E_KEEP") == "1"
        self.env.stop(keep=keep)

    def start(self, answers, config=None, queues=("q1",)):
        config = dict(config or {})
        config.setdefault("ServerName", SERVER_NAME)
        self.env.start(answers, config)
        return [self.env.add_queue(q) for q in queues]

    def assertLogged(self, text):
        if text not in self.env.log():
            self.fail("not in the spoolwarden log: %r" % text)

    def answers(self, decision, printer_settings=None, **extra):
        methods = {"spoolwarden.getPrinterConfig": printer_settings or settings()}
        if isinstance(decision, list):
            methods["spoolwarden.processPrintJob6"] = {"sequence": decision}
        else:
            methods["spoolwarden.processPrintJob6"] = decision
        script = {"default": "PRINT", "methods": methods}
        script.update(extra)
        return script

    # --- decisions ---------------------------------------------------------

    def test_print_and_cancel(self):
        printer, = self.start(self.answers({"by_document": {"secret": "CANCEL"},
                                            "answer": "PRINT"}))
        cases = [
            # title, file, bytes, copies, bytes the printer gets, event
            # The PostScript job's pages come from its analysis.
            ("report", self.ps_path, self.ps, 1, self.ps,
             "Job PRINTED: user=alice printer=q1 doc=report pages=4 copies=1"),
            ("twice", self.pcl_path, self.pcl, 2, self.pcl * 2, "Job PRINTED: user=alice printer=q1 doc=twice pages=2 copies=2"),
            ("secret", self.pcl_path, self.pcl, 1, None, "Job CANCEL: user=alice printer=q1 doc=secret pages=2 copies=1"),
        ]
        for title, path, data, copies, expected, event in cases:
            with self.subTest(title):
                before = len(printer.received())
                job = self.env.submit("q1", path, title=title, copies=copies, user="alice")
                self.env.wait_done(job)
                got = printer.received()[before:]
                if expected is None:
                    self.assertEqual(got, [])
                else:
                    self.assertEqual(b"".join(got), expected)
                self.assertLogged(event)
        # The job's own CUPS control file was read.
        self.assertLogged("Found control file at: %s/c0000" % self.env.paths["spool"])

    def test_pages_and_copies_from_pdf_xps_and_text(self):
        # Pages from the print data reach the job event line: a PDF whose
        # pages lie in object streams, an XPS job whose ticket asks for two
        # copies, a text with form feeds (truths: tests/corpus/manifest.tsv).
        printer, = self.start(self.answers("PRINT"))
        cases = [
            ("qpdf-objstm-mixed-a4.pdf", "pages=4 copies=1"),
            ("xps-jpeg-mixed-a4.xps", "pages=4 copies=2"),
            ("pdftotext-mixed-a4.txt", "pages=4 copies=1"),
        ]
        for name, counts in cases:
            with self.subTest(name):
                path, data = corpus(name)
                job = self.env.submit("q1", path, title=name, user="alice")
                self.env.wait_done(job)
                self.assertLogged("Job PRINTED: user=alice printer=q1 doc=%s %s" % (name, counts))

    def hold_marked_job(self, decisions):
        """Submits a job that the server holds, with its HoldJob event sent
        while the job is being decided (a new job clears old markers)."""
        printer, = self.start(self.answers(decisions))
        self.env.start_events()
        job = self.env.submit("q1", self.pcl_path, title="held")
        self.env.wait_log("New JobId: %d, cleaning up any files" % job)
        self.env.add_event("HoldJob", job)
        return printer, job

    def test_hold_released_by_unhold_event(self):
        printer, job = self.hold_marked_job(["HOLD2000:60000", "HOLD1000:60000", "PRINT"])
        self.env.wait_log("Instructed to hold, long polling for 60000 milliseconds.")
        self.assertEqual(printer.received(), [])
        self.env.add_event("UnholdJob", job)
        self.env.wait_done(job, timeout=30)
        self.assertLogged("The hold on JobId: %d has been notified as released." % job)
        self.assertEqual(printer.received(), [self.pcl])

    def test_long_hold_ends_when_its_time_is_up(self):
        printer, job = self.hold_marked_job(["HOLD2000:4000", "HOLD1000:4000", "PRINT"])
        self.env.wait_done(job, timeout=30)
        self.assertLogged("Instructed to hold, long polling for 4000 milliseconds.")
        self.assertLogged("The long time on JobId: %d has expired." % job)
        self.assertEqual(printer.received(), [self.pcl])

    def test_redirect_through_the_print_command(self):
        answer = "REDIRECT server=%s;printer=q2;redirect-uid=0123456789abcdef;" % SERVER_NAME
        first, second = self.start(self.answers(answer), queues=("q1", "q2"))
        job = self.env.submit("q1", self.ps_path, title="moved", user="alice")
        self.env.wait_done(job)
        harness.wait_for(lambda: second.received(), 30, "the redirected copy")
        self.env.wait_done(job + 1)
        self.assertEqual(second.received(), [self.ps])
        self.assertEqual(first.received(), [])
        self.assertLogged("Job OTHER: user=alice printer=q1 doc=moved")
        self.assertTrue(self.env.calls("spoolwarden.validateAndRegisterRedirectedJob"))

    # --- the server down ---------------------------------------------------

    def test_server_down_failure_modes(self):
        modes = ["PRINT_NEW_NO_REPLAY", "PRINT_NEW_WITH_REPLAY", "HOLD"]
        queues = ["qnoreplay", "qreplay", "qhold"]
        printers = self.start(self.answers("PRINT"), queues=queues)
        # Jobs are kept for replay only when their analysis succeeded: an
        # Epson ESC/P2 job, whose analysis needs no scan.
        path, data = corpus("cf-gutenprint-c88-mixed-a4.prn")
        # One job per queue while the server is up stores each printer's settings.
        for mode, queue in zip(modes, queues):
            self.env.set_answers(self.answers("PRINT", settings(failure_mode=mode)))
            self.env.wait_done(self.env.submit(queue, path, title="up"))
        self.env.stop_appserver()
        replay = os.path.join(self.env.paths["swspool"], "jobreplay")
        jobs = {q: self.env.submit(q, path, title="down-" + q) for q in queues}
        for queue in ("qnoreplay", "qreplay"):
            with self.subTest(queue):
                self.env.wait_done(jobs[queue])
                self.assertEqual(printers[queues.index(queue)].received(), [data, data])
        with self.subTest("replay data only for PRINT_NEW_WITH_REPLAY"):
            kept = glob.glob(os.path.join(replay, "*"))
            if "Unable to analyze JobId: %d " % jobs["qreplay"] in self.env.log():
                # Jobs whose analysis failed are never replayed.
                self.assertLogged("Not persisting JobId: %d, analysis was not successful"
                                  % jobs["qreplay"])
                self.assertEqual(kept, [])
            else:
                self.assertEqual(len(kept), 1, kept)
                with open(kept[0], errors="replace") as f:
                    text = f.read()
                self.assertTrue(text.startswith("# TV Serialize Data"))
                self.assertIn("down-qreplay", text)
        with self.subTest("HOLD waits for the server"):
            time.sleep(3)
            self.assertFalse(self.env.job_done(jobs["qhold"]))
            self.assertEqual(printers[2].received(), [data])
            self.env.start_appserver()
            self.env.wait_done(jobs["qhold"], timeout=40)
            self.assertEqual(printers[2].received(), [data, data])

    # --- print data that can never be printed ---------------------------------

    def test_corrupt_compressed_data_is_cancelled_not_retried(self):
        printer, = self.start(self.answers("PRINT"))
        # CUPS inflates one gzip layer itself; the inner one reaches the
        # backend, and its deflate data is broken.
        inner = bytearray(gzip.compress(self.pcl))
        inner[12:60] = b"\xff" * 48
        path = os.path.join(self.env.dir, "corrupt.gz")
        with open(path, "wb") as f:
            f.write(gzip.compress(bytes(inner)))
        job = self.env.submit("q1", path, title="corrupt")
        # CUPS retries a job whose backend answers "retry" (once a second
        # here); a cancelled job is done after one run.
        self.env.wait_done(job, timeout=30)
        time.sleep(2)
        self.assertEqual(self.env.log().count("Zlib inflate error"), 1)
        self.assertLogged("Job %d on printer q1 cannot be printed: its compressed print data is "
                          "corrupt or truncated; the job is cancelled" % job)
        self.assertEqual(printer.received(), [])
        self.assertFalse(self.env.calls("spoolwarden.processPrintJob6"))

    # --- analysed jobs --------------------------------------------------------

    def test_pclxl_job_is_reported_with_its_pages_and_colour(self):
        # Ghostscript's pxlcolor output of the 4-page mixed document: pages 2
        # and 4 print colour (inkcov), on A4.
        path, data = corpus("gs-pxlcolor-mixed-a4.pxl")
        printer, = self.start(self.answers("PRINT", settings(colour="Y")))
        job = self.env.submit("q1", path, title="pxl", user="alice")
        self.env.wait_done(job)
        self.assertEqual(b"".join(printer.received()), data)
        self.assertLogged("Job PRINTED: user=alice printer=q1 doc=pxl pages=4 copies=1")
        params = [value for _, value in self.env.calls("spoolwarden.processPrintJob6")[0]["params"]]
        # language, pages, copies, grayscale, duplex, paper, analysis code, colour pages
        self.assertEqual([params[i] for i in (5, 8, 9, 10, 11, 12, 17, 19)],
                         ["PCL6", 4, 1, False, False, "A4", 0, 2])

    # --- archive and hardware check -----------------------------------------

    def test_archive_copy_is_reported(self):
        printer, = self.start(self.answers("PRINT", settings(archiving="Y")))
        job = self.env.submit("q1", self.ps_path, title="kept")
        self.env.wait_done(job)
        calls = harness.wait_for(lambda: self.env.calls("spoolwarden.notifyPdlCopyComplete"),
                                 20, "notifyPdlCopyComplete")
        params = [value for _, value in calls[0]["params"]]
        self.assertEqual(params[0], SERVER_NAME)
        sub_path, uid = params[1], params[2]
        files = glob.glob(os.path.join(self.env.paths["archive"], sub_path, uid, "pdl.*"))
        self.assertEqual(len(files), 1, files)
        with open(files[0], "rb") as f:
            self.assertEqual(f.read(), self.ps)
        self.assertEqual(printer.received(), [self.ps])

    def test_hardware_check_hand_off(self):
        printer, = self.start(self.answers("PRINT", settings(hwcheck="SNMP")))
        cases = [
            # monitor answers, job printed, last line the monitor gets
            ("", True, "enddoc_bg"),
            ("startdoc_lock=DELETE\n", False, "startdoc_lock"),
        ]
        for answers, printed, last in cases:
            with self.subTest(answers or "all OK"):
                self.env.monitor_answers(answers)
                before_lines = len(self.env.monitor_lines())
                before = len(printer.received())
                job = self.env.submit("q1", self.pcl_path, title="checked")
                self.env.wait_done(job)
                lines = self.env.monitor_lines()[before_lines:]
                self.assertEqual(lines[:3], ["printername=q1", "printeraddress=127.0.0.1",
                                             "jobid=%d" % job])
                self.assertTrue(lines[3].startswith("papersize="))
                self.assertEqual(lines[-1], last)
                self.assertEqual(len(printer.received()) - before, 1 if printed else 0)


class BackendUnprintableData(unittest.TestCase):
    """The backend run by hand, as CUPS runs it, on compressed data that can
    never be printed: it answers CUPS_BACKEND_CANCEL (5) with an ERROR status
    line and a log entry, whether the data comes as a file or on standard
    input, and leaves no spool file."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="sw_unprintable_")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.tmp = os.path.join(self.dir, "tmp")
        os.makedirs(self.tmp)
        self.backend = os.path.join(self.dir, "spoolwarden")
        shutil.copy2(os.environ["SW_BACKEND"], self.backend)
        self.log_path = os.path.join(self.dir, "spoolwarden.log")
        with open(os.path.join(self.dir, "spoolwarden.conf"), "w") as f:
            f.write("".join("%s=%s\n" % item for item in {
                "ServerName": "unprintable-server",
                "ApplicationServer": "127.0.0.1",
                "ApplicationServerPort": "1",
                "Debug": "on",
                "Logfile": self.log_path,
                "SpoolDir": os.path.join(self.dir, "swspool"),
                "TmpCupsSpoolDir": self.tmp,
                "CupsSpoolDir": os.path.join(self.dir, "cupsspool"),
            }.items()))

    def run_backend(self, data, as_file):
        args = [self.backend, "42", "alice", "hostile", "1", ""]
        stdin = data
        if as_file:
            path = os.path.join(self.dir, "d00042-001")
            with open(path, "wb") as f:
                f.write(data)
            args.append(path)
            stdin = b""
        env = dict(os.environ, DEVICE_URI="spoolwarden:socket://127.0.0.1:9", PRINTER="q1")
        return harness.subprocess.run(args, input=stdin, capture_output=True, env=env,
                                      timeout=120)

    def test_compressed_data_that_can_never_be_printed_cancels_the_job(self):
        _, pcl = corpus("gs-ljet4-text-a4.pcl")
        good = gzip.compress(pcl)
        corrupt = bytearray(good)
        corrupt[12:60] = b"\xff" * 48
        # 80 MiB of zeros inflate more than 1000 times their compressed size
        # once past the 64 MiB floor of the ratio limit.
        bomb = gzip.compress(bytes(80 << 20), 9)
        cases = [
            # name, data, the log entry's reason
            ("corrupt", bytes(corrupt), "corrupt or truncated"),
            ("truncated", good[:len(good) // 2], "corrupt or truncated"),
            ("bomb", bomb, "inflates beyond the size limits"),
        ]
        for name, data, reason in cases:
            for as_file in (True, False):
                with self.subTest(name, as_file=as_file):
                    before = self.log()
                    out = self.run_backend(data, as_file)
                    self.assertEqual(out.returncode, 5, out.stderr)
                    self.assertIn(b"ERROR: spoolwarden: the job cannot be printed: ", out.stderr)
                    self.assertIn(reason.encode(), out.stderr)
                    added = self.log()[len(before):]
                    self.assertIn("ERROR: ", added)
                    self.assertIn("Job 42 on printer q1 cannot be printed: ", added)
                    self.assertIn(reason, added)
                    # Nothing was decided and nothing is left in the spool.
                    self.assertNotIn("common_process_job", added)
                    self.assertEqual(os.listdir(self.tmp), [])

    def log(self):
        if not os.path.exists(self.log_path):
            return ""
        with open(self.log_path, errors="replace") as f:
            return f.read()


class BackendConventions(unittest.TestCase):
    def test_discovery_line(self):
        out = harness.subprocess.run([os.environ["SW_BACKEND"]], capture_output=True, text=True)
        self.assertEqual(out.returncode, 0)
        self.assertEqual(out.stdout,
                         'network spoolwarden "Unknown" "spoolwarden accounting wrapper"\n')

    def test_bad_arguments(self):
        out = harness.subprocess.run([os.environ["SW_BACKEND"], "1", "2"], capture_output=True,
                                     text=True)
        self.assertEqual(out.returncode, 1)
        self.assertIn("Usage:", out.stderr)


if __name__ == "__main__":
    unittest.main()
