#!/usr/bin/env python3
"""Runs examples/stamp_pdf.py as a user would, against a registry file of its own.

Environment: TAVRIXRT_LIBRARY and TAVRIX_LIBRARY (the built libraries), STAMP_PDF_EXAMPLE (the
script). Registration goes through the runtime's RegisterServerLibrary.
"""

import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import unittest


class StampPdfExample(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tavrix-example-")
        self.env = dict(os.environ)
        self.env["TAVRIX_REGISTRY"] = os.path.join(self.dir, "registry")
        self.env["TAVRIX_SYSTEM_REGISTRY"] = os.path.join(self.dir, "system-registry")
        # The project's five-page sample, beside the example script.
        examples = os.path.dirname(os.path.abspath(os.environ["STAMP_PDF_EXAMPLE"]))
        self.input = os.path.join(os.path.dirname(examples), "samples", "sample.pdf")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def register(self):
        # The registry location is read when the call is made, so a child process keeps the
        # parent's environment clean.
        code = ("import ctypes,sys; rt=ctypes.CDLL(sys.argv[1]); "
                "rt.RegisterServerLibrary.argtypes=[ctypes.c_char_p]; "
                "sys.exit(0 if rt.RegisterServerLibrary(sys.argv[2].encode()) == 0 else 1)")
        subprocess.run([sys.executable, "-c", code, os.environ["TAVRIXRT_LIBRARY"],
                        os.environ["TAVRIX_LIBRARY"]], env=self.env, check=True)

    def run_example(self, *args):
        # Bytes, not text mode: the result text's CR LF must arrive unchanged.
        run = subprocess.run([sys.executable, os.environ["STAMP_PDF_EXAMPLE"],
                              "--runtime", os.environ["TAVRIXRT_LIBRARY"], *args],
                             env=self.env, capture_output=True, timeout=120)
        run.stdout = run.stdout.decode("utf-8", "replace")
        run.stderr = run.stderr.decode("utf-8", "replace")
        return run

    def test_stamps_a_file_with_properties_set_by_name(self):
        self.register()
        output = os.path.join(self.dir, "out \u00e9.pdf")
        export = os.path.join(self.dir, "next")
        run = self.run_example("--prefix", "Seite ", "--startNumber", "5", "--color", "0xFF0000",
                               "--exportit=" + export, self.input, output)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr, "")
        self.assertIn("Processing", run.stdout)
        with open(export) as f:
            self.assertEqual(f.read(), "10")  # numbers 5 to 9 shown
        with open(output, "rb") as f:
            self.assertTrue(f.read().startswith(b"%PDF-"))
        if shutil.which("qpdf"):
            subprocess.run(["qpdf", "--check", output], check=True, capture_output=True)

    def test_a_failed_job_reports_its_text(self):
        self.register()
        missing = os.path.join(self.dir, "missing.pdf")
        run = self.run_example(missing, os.path.join(self.dir, "out.pdf"))
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr, "Stamp file issue\r\nstamp_pdf.py: cannot open '%s': "
                         "No such file or directory\n" % missing)

    def test_an_unregistered_engine_is_reported(self):
        run = self.run_example(self.input, os.path.join(self.dir, "out.pdf"))
        self.assertEqual(run.returncode, 3)
        self.assertIn("Tavrix.TavrixCom: Invalid class string.", run.stderr)


if __name__ == "__main__":
    unittest.main()
