#!/usr/bin/env python3
"""The test archive as a finished run builds it (zip_tool report under Wine),
with a launcher installed in a folder made here, checked by every reader the
support staff might use (see zip_archives.py).

Usage: report_archive.py ZIP_TOOL_EXE   (run with TZ=UTC and WINEPREFIX set;
the launcher's registry key is shared, so ctest runs this under a lock)
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sample_text  # noqa: E402
from zip_archives import check_readers, parse_archive, read, wine_path, write  # noqa: E402

TOOL = None


def build(archive, report_name, report, game, launcher=None):
    args = ["wine", TOOL, "report", wine_path(archive), report_name, wine_path(report), str(game)]
    if launcher:
        args.append(wine_path(launcher))
    out = subprocess.run(args, env=dict(os.environ, WINEDEBUG="-all"), stdin=subprocess.DEVNULL,
                         capture_output=True, timeout=300)
    text = out.stdout.decode("latin-1").strip()
    assert text in ("built 1", "built 0"), (out.returncode, text, out.stderr)
    return text == "built 1"


class ReportArchive(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="reparc")
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def test_launcher_files_join_the_report_and_every_reader_accepts_the_archive(self):
        launcher = os.path.join(self.dir, "Orvane Launcher")
        os.makedirs(os.path.join(launcher, "Config", "Default"))
        os.makedirs(os.path.join(launcher, "OrvaneApplicationLogs"))
        report = write(os.path.join(self.dir, "DGN4F2.tmp"),
                       sample_text.report_text(2 * 1024 * 1024, 21) + b"\r\n<EOF>\r\n--- DIGEST ---\r\n" + b"0" * 40)
        games = write(os.path.join(launcher, "Config", "Default", "Games.xml"), sample_text.xml_text(60, 22))
        addendum = write(os.path.join(launcher, "Config", "Default", "GamesAddendum.xml"), sample_text.xml_text(5, 23))
        logs = {
            "OrvaneApplicationLog.txt": sample_text.log_text(1_500_000, 24),
            "OrvaneApplicationLog_old.txt": sample_text.log_text(200_000, 25),
            "OrvaneApplicationLog.zip": sample_text.log_text(10_000, 26),  # stored as it is
            "OrvaneApplicationLog_empty.txt": b"",
        }
        for name, data in logs.items():
            write(os.path.join(launcher, name), data)
        # Linux lets a name that differs only in case sit beside the real log;
        # the comparison is case-sensitive, so it stays out.
        write(os.path.join(launcher, "orvaneApplicationLog.txt"), b"other case")
        write(os.path.join(launcher, "Launcher.log"), b"not an application log")
        write(os.path.join(launcher, "OrvaneApplicationLogs", "OrvaneApplicationLog.txt"), b"in a subfolder")

        archive = write(os.path.join(self.dir, "Kharros II Test.zip"), b"archive of an earlier run")
        self.assertTrue(build(archive, "Kharros II Test.txt", report, 2, os.path.join(launcher, "Launcher.exe")))

        members = parse_archive(read(archive))
        names = [m["name"] for m in members]
        self.assertEqual(["Kharros II Test.txt", "Launcher/Games.xml", "Launcher/GamesAddendum.xml"], names[:3])
        self.assertEqual(sorted("Launcher/Logs/" + n for n in logs), sorted(names[3:]))
        expected = {"Kharros II Test.txt": read(report), "Launcher/Games.xml": read(games),
                    "Launcher/GamesAddendum.xml": read(addendum)}
        expected.update({"Launcher/Logs/" + n: d for n, d in logs.items()})
        check_readers(archive, [(n, expected[n]) for n in names])
        by_name = {m["name"]: m for m in members}
        self.assertEqual(0, by_name["Launcher/Logs/OrvaneApplicationLog.zip"]["method"])
        self.assertEqual(8, by_name["Launcher/Logs/OrvaneApplicationLog.txt"]["method"])

    def test_without_launcher_the_report_is_alone_and_without_report_there_is_no_archive(self):
        report = write(os.path.join(self.dir, "DGN77.tmp"), sample_text.report_text(100_000, 31))
        archive = os.path.join(self.dir, "Solmere Test.zip")
        self.assertTrue(build(archive, "Solmere Test.txt", report, 3))
        check_readers(archive, [("Solmere Test.txt", read(report))])

        self.assertFalse(build(archive, "Solmere Test.txt", os.path.join(self.dir, "gone.tmp"), 3))
        self.assertFalse(os.path.exists(archive))


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
