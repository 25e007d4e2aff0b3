"""cmake --install into a scratch DESTDIR, then checks what landed where.

Arguments: build directory, CUPS's server directory, the event process's
directory and the systemd unit directory as the build configured them.
"""

import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

BUILD, SERVERBIN, EVENTS_DIR, UNIT_DIR = sys.argv[1:5]


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="sw_install_")
        env = dict(os.environ, DESTDIR=cls.root)
        subprocess.run(["cmake", "--install", BUILD], env=env, check=True,
                       stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def at(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def test_backend_goes_where_cups_runs_backends_as_root(self):
        if shutil.which("cups-config"):
            serverbin = subprocess.run(["cups-config", "--serverbin"], capture_output=True,
                                       text=True, check=True).stdout.strip()
            self.assertEqual(SERVERBIN, serverbin)
        backend = self.at(SERVERBIN + "/backend/spoolwarden")
        info = os.stat(backend)
        # No permission for others: CUPS runs it as root, so it can read the
        # job's control file.
        self.assertEqual(stat.S_IMODE(info.st_mode), 0o700)
        if os.geteuid() == 0:
            self.assertEqual(info.st_uid, 0)
        out = subprocess.run([backend], capture_output=True, text=True)
        self.assertEqual(out.returncode, 0)
        self.assertTrue(out.stdout.startswith("network spoolwarden "))
        example = self.at(SERVERBIN + "/backend/spoolwarden.conf.example")
        self.assertEqual(stat.S_IMODE(os.stat(example).st_mode), 0o600)
        with open(example) as f:
            self.assertIn("ApplicationServer=", f.read())

    def test_event_process_comes_with_its_service_unit(self):
        program = EVENTS_DIR + "/spoolwarden-events"
        self.assertTrue(os.access(self.at(program), os.X_OK))
        self.assertTrue(os.path.exists(self.at(EVENTS_DIR + "/spoolwarden.conf.example")))
        with open(self.at(UNIT_DIR + "/spoolwarden-events.service")) as f:
            unit = f.read()
        self.assertIn("ExecStart=%s\n" % program, unit)
        self.assertIn("KillSignal=SIGTERM", unit)
        self.assertIn("WantedBy=multi-user.target", unit)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
