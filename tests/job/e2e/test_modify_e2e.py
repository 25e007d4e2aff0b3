"""End-to-end tests of spool-file rewriting: the stand-in server's decision
asks for copies, duplex, grayscale or compression; the loopback printer receives the
rewritten job, or the job as it was with the server's log warned when the
rewrite cannot be made.

Environment as for test_backend_e2e.py. Needs root.
"""

import gzip
import os
import re
import subprocess
import unittest

import harness
from test_backend_e2e import SOURCE_DIR, SERVER_NAME, corpus, settings

UID = "redirect-uid=0123456789abcdef;"

# PCL5 commands as Ghostscript's LaserJet devices write them.
PCL_RESET = b"\x1bE"
PCL_START_RASTER = b"\x1b*r1A"
PCL_COPIES = re.compile(rb"\x1b&l(\d+)X")

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

    def analyze(self, data):
        """The record spool-analyze (built beside the backend) makes of the
        bytes the printer received."""
        tool = os.path.join(os.path.dirname(os.environ["SW_BACKEND"]), "spool-analyze")
        path = self.write("received.prn", data)
        run = subprocess.run([tool, path], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        return dict(line.split("=", 1) for line in run.stdout.splitlines() if "=" in line)

    def ghostscript(self, device, path, options, after=()):
        run = subprocess.run(["gs", "-q", "-dBATCH", "-dNOPAUSE", "-dNOSAFER",
                              "-sDEVICE=" + device, *options, path, *after],
                             capture_output=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run.stdout

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
        self.assertEqual(harness.strict_pcl_xl(got)["streams"], "5")
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

    def test_pcl5_job_asks_for_duplex_and_copies(self):
        path, pcl = corpus("gs-ljet4-text-a4.pcl")
        # Ghostscript's own duplex device and its copies option write the
        # commands the rewritten job must carry.
        _, ljet4d = corpus("gs-ljet4d-text-letter.pcl")
        _, ljet4_copies3 = corpus("gs-ljet4-copies3-mixed-letter.pcl")
        duplex, copies3 = b"\x1b&l1S", b"\x1b&l3X"
        self.assertIn(duplex, ljet4d)
        self.assertIn(copies3, ljet4_copies3)
        printer = self.start("PRINT convert-duplex=1;change-copies=3;" + UID)
        got = self.print_job(printer, path, "pcl5")
        # Duplex is set after the reset that opens the job (a reset would
        # undo it) and before the first page's raster.
        reset = got.find(PCL_RESET)
        self.assertGreaterEqual(reset, 0)
        at = got.find(duplex, reset + len(PCL_RESET))
        self.assertGreater(at, reset)
        self.assertLess(at, got.find(PCL_START_RASTER))
        # Every copy count in the job says three, as -dNumCopies=3 writes
        # it: a page whose own count the driver wrote is not left at one.
        self.assertIn(copies3, got)
        self.assertEqual(set(PCL_COPIES.findall(got)), {b"3"})
        record, original = self.analyze(got), self.analyze(pcl)
        self.assertEqual((record["pages"], record["copies"], record["duplex"]),
                         (original["pages"], "3", "1"))
        self.assertEqual(got.count(PCL_START_RASTER), pcl.count(PCL_START_RASTER))
        self.assertNotIn("Did not modify", "".join(self.warnings()))

    def test_pcl_xl_job_asks_for_duplex(self):
        path, pxl = corpus("gs-pxlmono-text-a4.pxl")
        # DuplexPageMode (long edge) on each BeginPage, as pxlmono -dDuplex
        # writes it for the same document.
        _, gs_duplex = corpus("gs-pxlmono-copies2-duplex-text-a4.pxl")
        duplex_page_mode = b"\xc0\x01\xf8\x35"
        self.assertNotIn(duplex_page_mode, pxl)
        printer = self.start("PRINT convert-duplex=1;" + UID)
        got = self.print_job(printer, path, "pclxl")
        record, original = self.analyze(got), self.analyze(pxl)
        self.assertEqual(original["duplex"], "0")
        self.assertEqual((record["pages"], record["duplex"]), (original["pages"], "1"))
        self.assertEqual(got.count(duplex_page_mode), gs_duplex.count(duplex_page_mode))
        # No page still asks for one-sided printing (SimplexPageMode).
        self.assertIn(b"\xc0\x00\xf8\x34", pxl)
        self.assertNotIn(b"\xc0\x00\xf8\x34", got)
        self.assertEqual(harness.strict_pcl_xl(got)["pages"], original["pages"])
        self.assertNotIn("Did not modify", "".join(self.warnings()))

    def test_grayscale_pcl_xl_job_gets_the_pjl_header_of_pxlmono(self):
        path, pxl = corpus("gs-pxlcolor-mixed-a4.pxl")
        # Ghostscript's monochrome PCL XL device run on the same source.
        mono = self.ghostscript("pxlmono", os.path.join(SOURCE_DIR, "tests/corpus/src/mixed.ps"),
                                ["-r300", "-sPAPERSIZE=a4", "-dFIXEDMEDIA", "-sOutputFile=-"])
        enter = b"@PJL ENTER LANGUAGE"

        def header(data):
            end = data.find(b"\n", data.find(enter)) + 1
            self.assertGreater(end, 0)
            return data[:end]

        self.assertNotEqual(header(pxl), header(mono))
        printer = self.start("PRINT convert-grayscale=1;" + UID)
        got = self.print_job(printer, path, "gray")
        self.assertEqual(header(got), header(mono))
        self.assertEqual(self.analyze(got)["pages"], self.analyze(pxl)["pages"])
        self.assertEqual(harness.strict_pcl_xl(got)["pages"], self.analyze(pxl)["pages"])
        self.assertNotIn("Did not", "".join(self.warnings()))

    def test_grayscale_postscript_job_renders_in_gray(self):
        path, ps = corpus("gs-ps2write-mixed-a4.ps")
        options = ["-sOutputFile=/dev/null"]
        ask = ["-c", "currentpagedevice /ProcessColorModel get =="]
        printer = self.start("PRINT convert-grayscale=1;" + UID)
        got = self.print_job(printer, path, "gray")
        received = self.write("received.ps", got)
        # Ghostscript runs the job and then reports the colour model the
        # job left the device in.
        self.assertIn(b"/DeviceRGB", self.ghostscript("pdfwrite", path, options, ask))
        self.assertIn(b"/DeviceGray", self.ghostscript("pdfwrite", received, options, ask))
        self.assertEqual(got.count(b"%%Page:"), ps.count(b"%%Page:"))
        self.assertNotIn("Did not", "".join(self.warnings()))

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
                if name.endswith(".pxl"):
                    # The mark is a stream the job defines once and runs
                    # on each page; the printer reads every page.
                    record = harness.strict_pcl_xl(got)
                    self.assertEqual((record["pages"], record["user_streams"]),
                                     (harness.strict_pcl_xl(data)["pages"], "1"))
        self.assertNotIn("Did not modify", "".join(self.warnings()))

    def test_watermark_on_pdf_prints_the_original_and_warns_the_server(self):
        path, pdf = corpus("gs-pdfwrite-text-a4.pdf")
        printer = self.start("PRINT wm-text=DRAFT;wm-font-size=20;convert-duplex=1;" + UID)
        got = self.print_job(printer, path, "watermarked")
        self.assertEqual(got, pdf)
        self.assertWarned("Could not watermark. Please check that printer and driver are "
                          "PostScript or PCL.")
        self.assertWarned("The print job is not PostScript or PCL")

    def test_custom_token_file_rules_change_the_jobs_the_server_has_rewritten(self):
        # An administrator's rule, in custom-tokens.conf beside the
        # backend's configuration (the default place): toner saving for
        # every rewritten job, after the resolution line of the PJL header.
        path, pxl = corpus("gs-pxlmono-text-a4.pxl")
        resolution = b"@PJL SET RESOLUTION=300\n"
        self.assertIn(resolution, pxl)
        rule = ("# toner saving\n"
                "1.friendly_name=Economode\n"
                "1.search_pattern=@PJL SET RESOLUTION=300\n"
                "1.replace_pattern=\"@PJL SET RESOLUTION=300\\x0A@PJL SET ECONOMODE=ON\"\n")
        backend_dir = os.path.join(self.env.paths["bin"], "backend")
        printer = self.start("PRINT convert-duplex=1;" + UID)
        with open(os.path.join(backend_dir, "custom-tokens.conf"), "w") as f:
            f.write(rule)
        got = self.print_job(printer, path, "economode")
        self.assertIn(resolution + b"@PJL SET ECONOMODE=ON\n", got)
        record, original = self.analyze(got), self.analyze(pxl)
        self.assertEqual((record["pages"], record["duplex"]), (original["pages"], "1"))
        self.assertEqual(harness.strict_pcl_xl(got)["pages"], original["pages"])

        # CustomTokenFile names another file; a line of it is malformed: the
        # log names the line, and the job is rewritten without the rules.
        elsewhere = self.write("site-rules.conf", (rule + "second.friendly_name=oops\n").encode())
        self.env.write_config({"ServerName": SERVER_NAME, "CustomTokenFile": elsewhere})
        got = self.print_job(printer, path, "malformed")
        self.assertNotIn(b"ECONOMODE", got)
        self.assertEqual(self.analyze(got)["duplex"], "1")
        log = self.env.log()
        self.assertIn("Invalid line 'second.friendly_name=oops' (line 5)", log)
        self.assertIn("Custom token file %s not loaded" % elsewhere, log)
        self.assertNotIn("Did not modify", "".join(self.warnings()))

    def test_a_change_no_planner_can_make_prints_the_original_and_names_it(self):
        path, pdf = corpus("gs-pdfwrite-text-a4.pdf")
        printer = self.start("PRINT convert-grayscale=1;" + UID)
        got = self.print_job(printer, path, "gray")
        self.assertEqual(got, pdf)
        self.assertWarned("Did not make any replacements in spool file")
        self.assertIn("Requested changes not performed: grayscale", self.env.log())


if __name__ == "__main__":
    unittest.main()
