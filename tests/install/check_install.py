"""cmake --install into a scratch DESTDIR, then checks what landed where.

Arguments: build directory, CUPS's server directory, the event process's
directory, the systemd unit directory, the directory of hostwright and the
configuration directory as the build configured them.
"""

import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

BUILD, SERVERBIN, EVENTS_DIR, UNIT_DIR, SBIN_DIR, CONFIG_DIR = sys.argv[1:7]


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

    def test_example_configuration_names_what_an_administrator_sets(self):
        for directory in (SERVERBIN + "/backend", EVENTS_DIR):
            with self.subTest(directory):
                with open(self.at(directory + "/spoolwarden.conf.example")) as f:
                    keys = dict(line.strip().split("=", 1) for line in f
                                if "=" in line and not line.lstrip().startswith("#"))
                self.assertEqual(keys["ArchiveDir"], "/var/spool/spoolwarden/archive")
                # The service account rotates the log in a directory of its own.
                self.assertEqual(os.path.dirname(keys["Logfile"]), "/var/log/spoolwarden")
                self.assertIn("LogRotateSizeKBytes", keys)
                self.assertIn("LogRotateNumber", keys)
                # The hardware check finds the print monitor where the
                # install put it (the default, beside the configuration,
                # holds none).
                monitor = keys["PrintMonitorPath"]
                self.assertEqual(monitor, EVENTS_DIR + "/print_monitor")
                self.assertTrue(os.access(self.at(monitor), os.X_OK))

    def test_environment_version_lies_beside_every_configuration(self):
        for directory in (SERVERBIN + "/backend", EVENTS_DIR, CONFIG_DIR):
            with self.subTest(directory):
                with open(self.at(directory + "/env-version")) as f:
                    self.assertEqual(f.read(), "EnvVersion=13\n")

    def test_hostwright_is_on_the_administrators_path(self):
        program = self.at(SBIN_DIR + "/hostwright")
        self.assertTrue(os.access(program, os.X_OK))
        out = subprocess.run([program], capture_output=True, text=True)
        self.assertEqual(out.returncode, 1)
        self.assertTrue(out.stderr.startswith("Usage: hostwright command args...\n"))

    def test_installed_files_load_without_complaint(self):
        # The installed hostwright with the installed example and
        # environment-version file beside it, as an administrator copies
        # them: the version is read, not assumed, and nothing is an ERROR.
        work = tempfile.mkdtemp(prefix="sw_installed_")
        self.addCleanup(shutil.rmtree, work, True)
        program = os.path.join(work, "hostwright")
        shutil.copy2(self.at(SBIN_DIR + "/hostwright"), program)
        shutil.copy2(self.at(CONFIG_DIR + "/env-version"), os.path.join(work, "env-version"))
        log = os.path.join(work, "spoolwarden.log")
        with open(self.at(EVENTS_DIR + "/spoolwarden.conf.example")) as f:
            example = f.read()
        with open(os.path.join(work, "spoolwarden.conf"), "w") as f:
            f.write(example)
            f.write("Debug=on\nLogfile=%s\nSpoolDir=%s\nArchiveDir=%s\n"
                    % (log, os.path.join(work, "spool"), os.path.join(work, "archive")))
        out = subprocess.run([program, "wait-for-server-setup-to-complete", "0"],
                             capture_output=True, text=True)
        self.assertEqual(out.returncode, 0, out.stderr)
        with open(log) as f:
            text = f.read()
        self.assertIn("Environment version: 13", text)
        self.assertNotIn("ERROR", text)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
