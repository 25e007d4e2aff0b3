"""End-to-end tests of spool-file rewriting: the stand-in server's decision
asks for copies, duplex or compression; the loopback printer receives the
rewritten job, or the job as it was with the server's log warned when the
rewrite cannot be made.

Environment as for test_backend_e2e.py. Needs root.
"""

import gzip
import os
import unittest

import harness
from test_backend_e2e import SOURCE_DIR, SERVER_NAME, corpus, settings

UID = "redirect-uid=0123456789abcdef;"

# An XPIF ticket in PJL XCPT lines as Xerox drivers write it (hand-made: no
# Debian tool writes XPIF), put before a real PostScript job.
XPIF_HEAD = (b"\x1b%-12345X@PJL JOB\n"
             b"@PJL XCPT <?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             b"@PJL XCPT <!DOCTYPE xpif SYSTEM \"xpif-v02076.dtd\">\n"
             b"@PJL XCPT <xpif version=\"1.0\" cpss-version=\"2.07\" xml:lang=\"en\">\n"
             b"@PJL XCPT <job-template-attributes>\n"
             b"@PJL XCPT <copies syntax=\"integer\">1</copies>\n"
             b"@PJL XCPT <sides syntax=\"keyword\">one-sided</sides>\n"
             b"@PJL XCPT </job-template-attributes>\n"
             b"@PJL XCPT </xpif>\n"
             b"@PJL ENTER LANGUAGE=POSTSCRIPT\n")


@unittest.skipUnless(os.geteuid() == 0 and os.path.exists(harness.CUPSD),
                     "needs root and cupsd")
class ModifyE2E(unittest.TestCase):
    def setUp(self):
        self.env = harness.Environment(SOURCE_DIR, os.environ["SW_BACKEND"],
                                       os.environ["SW_EVENTS"], os.environ["SW_MONITOR"])
        self.addCleanup(lambda: self.env.stop(keep=os.environ.get("SW_E2E_KEEP") == "1"))

    def start(self, decision, config=None):
        config = dict(config or {})
        config.setdefault("ServerName", SERVER_NAME)
        answers = {"default": "PRINT", "methods": {
            "spoolwarden.getPrinterConfig": settings(),
            "spoolwarden.processPrintJob6": decision}}
        self.env.start(answers, config)
        return self.env.add_queue("q1")

    def write(self, name, data):
        path = os.path.join(self.env.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o644)
        return path

    def print_job(self, printer, path, title):
        before = len(printer.received())
        job = self.env.submit("q1", path, title=title, user="alice")
        self.env.wait_done(job)
        return b"".join(printer.received()[before:])

    def warnings(self):
        return [str(call["params"]) for call in self.env.calls("log.logMessage")]

    def assertWarned(self, text):
        if not any(text in w for w in self.warnings()):
            self.fail("no warning with %r in %r" % (text, self.warnings()))

    def test_inline_copies_are_written_as_often_as_the_server_asks(self):
        # A driver that printed three copies by repeating the job; the server
        # asks for five.
        _, one = corpus("gs-pxlmono-text-a4.pxl")
        printer = self.start("PRINT change-copies=5;" + UID)
        got = self.print_job(printer, self.write("copies.pxl", one * 3), "copies")
        self.assertEqual(got, one * 5)
        self.assertNotIn("without:", "".join(self.warnings()))

    def test_xpif_ticket_asks_for_duplex_and_copies(self):
        _, ps = corpus("gs-ps2write-text-letter.ps")
        printer = self.start("PRINT convert-duplex=1;change-copies=3;" + UID)
        got = self.print_job(printer, self.write("xpif.ps", XPIF_HEAD + ps), "ticket")
        head = XPIF_HEAD.replace(
            b"<sides syntax=\"keyword\">one-sided</sides>",
            b"<sides syntax=\"keyword\">two-sided-long-edge</sides>").replace(
            b"<copies syntax=\"integer\">1</copies>", b"<copies syntax=\"integer\">3</copies>").replace(
            b"@PJL ENTER LANGUAGE=POSTSCRIPT\n",
            b"@PJL SET DUPLEX=ON\n@PJL SET BINDING=LONGEDGE\n@PJL ENTER LANGUAGE=POSTSCRIPT\n")
        # The ticket is rewritten and the PJL header asks for duplex too (the
        # PostScript planner forces the copies); the PostScript after it is
        # the PostScript planner's (its own duplex and copies block), every
        # page kept.
        self.assertEqual(got[:len(head)], head)
        self.assertEqual(got.count(b"%%Page:"), ps.count(b"%%Page:"))
        self.assertTrue(got.rstrip().endswith(b"%%EOF"))

    def test_compressed_for_a_printer_that_takes_gzip(self):
        path, pcl = corpus("gs-ljet4-text-a4.pcl")
        printer = self.start("PRINT", {"GzipCompress": "q1"})
        got = self.print_job(printer, path, "zipped")
        self.assertEqual(gzip.decompress(got), pcl)

    def test_watermark_on_postscript_and_pcl_xl(self):
        printer = self.start("PRINT wm-text=DRAFT-42;wm-font-size=20;wm-position=TOP;" + UID)
        for name in ("gs-ps2write-text-letter.ps", "gs-pxlmono-text-a4.pxl"):
            with self.subTest(name):
                path, data = corpus(name)
                got = self.print_job(printer, path, name)
                self.assertNotEqual(got, data)
                self.assertIn(b"DRAFT-42", got)
        self.assertNotIn("Did not modify", "".join(self.warnings()))

    def test_watermark_on_pdf_prints_the_original_and_warns_the_server(self):
        path, pdf = corpus("gs-pdfwrite-text-a4.pdf")
        printer = self.start("PRINT wm-text=DRAFT;wm-font-size=20;convert-duplex=1;" + UID)
        got = self.print_job(printer, path, "watermarked")
        self.assertEqual(got, pdf)
        self.assertWarned("Could not watermark. Please check that printer and driver are "
                          "PostScript or PCL.")
        self.assertWarned("The print job is not PostScript or PCL")

    def test_a_change_no_planner_can_make_prints_the_original_and_names_it(self):
        path, pdf = corpus("gs-pdfwrite-text-a4.pdf")
        printer = self.start("PRINT convert-grayscale=1;" + UID)
        got = self.print_job(printer, path, "gray")
        self.assertEqual(got, pdf)
        self.assertWarned("Did not make any replacements in spool file")
        self.assertIn("Requested changes not performed: grayscale", self.env.log())


if __name__ == "__main__":
    unittest.main()
