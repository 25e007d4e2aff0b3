"""End-to-end tests of transform scripts: a job submitted to q1 is redirected
by the stand-in server to q2, whose transform script rewrites it on the way;
q2's loopback printer receives the rewrite, q1's nothing.

Environment as for test_backend_e2e.py. Needs root.
"""

import os
import re
import unittest

import harness
from test_backend_e2e import SOURCE_DIR, SERVER_NAME, corpus, settings

REDIRECT = "REDIRECT server=%s;printer=q2;redirect-uid=0123456789abcdef;" % SERVER_NAME

# Stamps the user and the page count of the trailer after the header
# comments, and asks for the job twice.
STAMP_SCRIPT = r'''# q2 is a shared printer: say whose job it is
FIND /%%EndComments\r?\n.*%%Pages: (\d+)/ 0
pages = $1
FIND /%%EndComments\r?\n/ REPLACE "%%EndComments\n%%For: %tv_user% (%pages% pages)\n"
REPEAT_ALL 2
'''


UEL = b"\x1b%-12345X"
# What a PCL XL job without a PJL header is given when its header is stripped.
PCL_XL_PJL_HEADER = b"\x1b%-12345X@PJL JOB\n@PJL SET QTY=1\n@PJL ENTER LANGUAGE=PCLXL\n"


def stamped(data, user):
    """What the stamp script makes of `data`, computed with Python's re."""
    pages = re.search(rb"%%EndComments\r?\n.*%%Pages: (\d+)", data, re.S).group(1)
    end = re.search(rb"%%EndComments\r?\n", data, re.S)
    stamp = b"%%EndComments\n%%For: " + user.encode() + b" (" + pages + b" pages)\n"
    once = data[:end.start()] + stamp + data[end.end():]
    return once + once


@unittest.skipUnless(os.geteuid() == 0 and os.path.exists(harness.CUPSD),
                     "needs root and cupsd")
class TransformE2E(unittest.TestCase):
    def setUp(self):
        self.env = harness.Environment(SOURCE_DIR, os.environ["SW_BACKEND"],
                                       os.environ["SW_EVENTS"], os.environ["SW_MONITOR"])
        self.addCleanup(lambda: self.env.stop(keep=os.environ.get("SW_E2E_KEEP") == "1"))
        self.path, self.data = corpus("cf-pstops-mixed-letter.ps")
        self.transforms = os.path.join(self.env.dir, "transforms")
        self.logs = os.path.join(self.transforms, "logs")
        os.makedirs(self.logs)
        # Environment version 11 asks with processPrintJob5.
        answers = {"default": "PRINT", "methods": {
            "spoolwarden.getPrinterConfig": settings(),
            "spoolwarden.processPrintJob5": REDIRECT}}
        self.env.start(answers, {"ServerName": SERVER_NAME, "TransformsDir": self.transforms,
                                 "TransformLogsDir": self.logs})
        # The environment version that brings transform scripts.
        with open(os.path.join(self.env.paths["bin"], "backend", "env-version"), "w") as f:
            f.write("EnvVersion=11\n")
        self.q1 = self.env.add_queue("q1")
        self.q2 = self.env.add_queue("q2")

    def script(self, text, languages=("postscript",)):
        """The target's script in each language directory named."""
        for name in os.listdir(os.path.join(self.transforms, "custom")) \
                if os.path.isdir(os.path.join(self.transforms, "custom")) else []:
            old = os.path.join(self.transforms, "custom", name, "q2.name.transform")
            if os.path.exists(old):
                os.remove(old)
        for language in languages:
            path = os.path.join(self.transforms, "custom", language, "q2.name.transform")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)

    def redirect(self, title):
        """Submits the job to q1; what q2's printer received for it."""
        before = len(self.q2.received())
        job = self.env.submit("q1", self.path, title=title, user="alice")
        self.env.wait_done(job)
        harness.wait_for(lambda: len(self.q2.received()) > before, 30, "the redirected copy")
        self.env.wait_done(job + 1)
        self.assertEqual(self.q1.received(), [])
        return self.q2.received()[before:], job

    def test_target_scripts(self):
        with self.subTest("stamp and repeat"):
            self.script(STAMP_SCRIPT)
            got, _ = self.redirect("stamped")
            self.assertEqual(got, [stamped(self.data, "alice")])
            self.assertIn("XVP: applying replacement list on spool file", self.env.log())

        with self.subTest("syntax error: the job goes unchanged, the log says why"):
            self.script("x = (1 +\nFIND \"%%EOF\"\n")
            got, _ = self.redirect("broken")
            self.assertEqual(got, [self.data])
            log = self.env.log()
            self.assertIn("Bad transform statement", log)
            self.assertIn("Could not transform spool file", log)

        with self.subTest("test mode keeps both spool files and tells the server"):
            self.script("ENABLE_TEST_MODE\n" + STAMP_SCRIPT)
            got, job = self.redirect("tested")
            self.assertEqual(got, [stamped(self.data, "alice")])
            with open(os.path.join(self.logs, "%d.before" % job), "rb") as f:
                self.assertEqual(f.read(), self.data)
            with open(os.path.join(self.logs, "%d.after" % job), "rb") as f:
                self.assertEqual(f.read(), got[0])
            self.assertTrue(os.path.exists(os.path.join(self.logs, "%d.log" % job)))
            messages = [c["params"] for c in self.env.calls("log.logMessage")]
            self.assertTrue(any(p[1][1] == "INFORMATION" and
                                "Transform logging is enabled" in p[2][1] for p in messages),
                            messages)

        with self.subTest("no script for the language"):
            self.script(STAMP_SCRIPT, languages=("pcl5",))
            got, _ = self.redirect("plain")
            self.assertEqual(got, [self.data])

    def test_pcl_xl_header_stripped_and_repeated(self):
        # Each copy keeps the PJL header that names the language (a stream
        # without one is given one) and the universal exit after its data:
        # q2's printer reads two whole jobs.
        self.script("STRIP_HEADER\nREPEAT_ALL 2\n", languages=("pcl6",))
        _, job = corpus("gs-pxlmono-text-a4.pxl")
        pages = harness.strict_pcl_xl(job)["pages"]
        stream = job[job.index(b") HP-PCL XL"):job.rindex(UEL)]
        # Ghostscript's job ends with the universal exit that ends its data.
        cases = (("with its PJL header", job, job),
                 ("a stream without PJL", stream, PCL_XL_PJL_HEADER + stream))
        for name, data, once in cases:
            with self.subTest(name):
                self.path = os.path.join(self.env.dir, "pclxl.pxl")
                with open(self.path, "wb") as f:
                    f.write(data)
                os.chmod(self.path, 0o644)
                got, _ = self.redirect("pclxl")
                self.assertEqual(got, [once + once])
                record = harness.strict_pcl_xl(got[0])
                self.assertEqual((record["streams"], record["entered"], record["pages"]),
                                 ("2", "2", str(2 * int(pages))))


if __name__ == "__main__":
    unittest.main()
