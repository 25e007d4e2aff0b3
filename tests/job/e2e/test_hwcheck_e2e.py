"""End-to-end tests of the hardware check: real jobs through a private CUPS
scheduler to loopback printers whose SNMP agents are snmpsimd instances,
watched by the real print monitor, reported to the stand-in application
server. A loopback printer "prints" a job in its agent's records: printing
(hrPrinterStatus 4) with the counter raised by the job's pages, then idle
(3) again.

Environment: as test_backend_e2e, with SW_REAL_MONITOR (the print monitor).
Needs root and snmpsimd.
"""

import os
import shutil
import threading
import time
import unittest

import harness
from test_backend_e2e import SERVER_NAME, corpus, settings

SOURCE_DIR = os.environ.get("SW_SOURCE_DIR", "")
COMMUNITY = "e2e-printer"
MARKER = "1.3.6.1.2.1.43.10.2.1.4.1.1"
# The job and its pages, as the corpus manifest says the driver made them.
JOB_FILE, JOB_PAGES = "gs-ljet4-text-a4.pcl", 2


def records(descr, status=3, device=2, error="0000", pages=1000):
    """A printer's objects: hrDeviceDescr, sysObjectID, states, counter."""
    return [
        "1.3.6.1.2.1.1.1.0|4|%s (firmware 1.0)" % descr,
        "1.3.6.1.2.1.1.2.0|6|1.3.6.1.4.1.99999.7",
        "1.3.6.1.2.1.25.3.2.1.3.1|4|%s" % descr,
        "1.3.6.1.2.1.25.3.2.1.5.1|2|%d" % device,
        "1.3.6.1.2.1.25.3.5.1.1.1|2|%d" % status,
        "1.3.6.1.2.1.25.3.5.1.2.1|4x|%s" % error,
        "%s|65|%d" % (MARKER, pages),
    ]


@unittest.skipUnless(os.geteuid() == 0 and os.path.exists(harness.CUPSD)
                     and shutil.which("snmpsimd"), "needs root, cupsd and snmpsimd")
class HardwareCheckE2E(unittest.TestCase):
    def setUp(self):
        self.env = harness.Environment(SOURCE_DIR, os.environ["SW_BACKEND"],
                                       os.environ["SW_EVENTS"], os.environ["SW_REAL_MONITOR"])
        self.addCleanup(self.env.stop, os.environ.get("SW_E2E_KEEP") == "1")
        self.pcl_path, self.pcl = corpus(JOB_FILE)

    def start(self, host, agent_records, decision="PRINT", extra_config=None):
        """The scheduler, the stand-in, one queue q1 to a printer at `host`
        and, unless `agent_records` is None, its agent."""
        config = {
            "ServerName": SERVER_NAME,
            "SNMPCommunity": COMMUNITY,
            "HWCheckSnmpTimeoutSecs": "1",
            "HWCheckSnmpRetries": "0",
            "HWCheckWaitRetriesAfter": "1",
            "HWCheckWaitIdlePollIntervalMillis": "250",
            "HWCheckWaitPrintingPollIntervalMillis": "250",
            "HWCheckWaitPrintingNoerrorMaxSecs": "20",
            "HWCheckWaitIdleErrorMaxSecs": "2",
            "HWCheckStabilizationNumLoopsAfter": "2",
            "HWCheckExtraTimeLoops": "4",
        }
        config.update(extra_config or {})
        answers = {"default": "PRINT", "methods": {
            "spoolwarden.getPrinterConfig": settings(hwcheck="SNMP"),
            "spoolwarden.processPrintJob6": decision}}
        self.env.start(answers, config)
        self.agent = None
        if agent_records is not None:
            self.agent = harness.SnmpPrinterAgent(self.env.dir, host, COMMUNITY, agent_records)
            self.addCleanup(self.agent.stop)
        return self.env.add_queue("q1", harness.LoopbackPrinter(host, self.print_pages))

    def print_pages(self, data):
        """The loopback printer at work: printing, the pages counted, idle."""
        if self.agent is None:
            return
        before = int(self.agent.get(MARKER))
        descr = self.agent.get("1.3.6.1.2.1.25.3.2.1.3.1").strip('"')
        self.agent.set(records(descr, status=4, pages=before + JOB_PAGES))

        def idle_again():
            time.sleep(2)
            self.agent.set(records(descr, status=3, pages=before + JOB_PAGES))
        threading.Thread(target=idle_again, daemon=True).start()

    def assertPrinted(self, printer):
        got = harness.wait_for(printer.received, 10, "the job at the printer")
        self.assertTrue(got == [self.pcl], "the printer got %d jobs of %s bytes"
                        % (len(got), [len(j) for j in got]))

    def report(self, timeout=60):
        calls = harness.wait_for(
            lambda: self.env.calls("spoolwarden.processPrintJobHardwareCheck"), timeout,
            "processPrintJobHardwareCheck")
        self.assertEqual(len(calls), 1, calls)
        return [value for _, value in calls[0]["params"]]

    def test_the_server_gets_the_pages_the_printer_counted(self):
        printer = self.start("127.0.0.21", records("Acme Laser 9"))
        job = self.env.submit("q1", self.pcl_path, title="counted")
        self.env.wait_done(job)
        self.assertPrinted(printer)
        self.assertEqual(self.report(), [
            SERVER_NAME, "q1", str(job), JOB_PAGES, 0, "N", "SNMP", "OK",
            "127.0.0.21 counted %d pages (0 colour)" % JOB_PAGES])

    def test_a_jammed_printer_with_delete_on_error_prints_nothing(self):
        model = 'make="Acme" model="Jammer" deleteonerror="1"'
        printer = self.start("127.0.0.22",
                             records("Acme Jammer 1", status=1, device=5, error="0400"),
                             extra_config={"HWCheckModel1": model})
        job = self.env.submit("q1", self.pcl_path, title="jammed")
        self.env.wait_done(job)
        params = self.report()
        self.assertEqual(params[7], "ERROR")
        self.assertEqual(params[8], "job deleted: the printer at 127.0.0.22 is in error (Jammed)")
        self.assertEqual(printer.received(), [])
        self.env.wait_log("startdoc reported to delete the job and so no enddoc called")

    def test_a_printer_without_agent_still_prints(self):
        printer = self.start("127.0.0.23", None)
        started = time.time()
        job = self.env.submit("q1", self.pcl_path, title="no agent")
        self.env.wait_done(job, timeout=60)
        # The monitor's SNMP time-outs (1 s, no retry) delay the job a few
        # seconds, never the monitor's answer time-out.
        self.assertLess(time.time() - started, 45)
        self.assertPrinted(printer)
        params = self.report()
        self.assertEqual(params[3:8], [0, 0, "", "SNMP", "ERROR"])
        self.assertIn("127.0.0.23 does not answer over SNMP", params[8])

    def test_a_redirect_without_ppd_learns_the_model_from_the_printer(self):
        decision = "REDIRECT server=%s;printer=q2;redirect-uid=0123456789abcdef;" % SERVER_NAME
        self.start("127.0.0.24", records("Acme Colour 7"), decision=decision)
        second = self.env.add_queue("q2")
        job = self.env.submit("q1", self.pcl_path, title="moved")
        self.env.wait_done(job)
        harness.wait_for(lambda: second.received(), 30, "the redirected copy")
        self.env.wait_log("Setting printer type for job %d to: Acme Colour 7" % job)
        # The next job's flow remembers what the printer said: it is not
        # asked again.
        again = self.env.submit("q1", self.pcl_path, title="moved again")
        self.env.wait_done(again)
        self.env.wait_log("Setting printer type for job %d to: Acme Colour 7" % again)
        self.assertEqual(self.env.log().count("Creating new session for setting of printer_type"),
                         1)


if __name__ == "__main__":
    unittest.main()
