"""The verification mode end to end: the real Diagnova.exe under Wine, started
with report and archive paths, its message box read and answered through
dgn_driver; and scripts/run FILE... on a machine without a display.

Reports are sealed by tests/seal_report.exe, which uses the program's own
sealing code. Run by ctest with WINEPREFIX and DISPLAY set (scripts/test).
usage: verify_mode_test.py BUILD_DIR [unittest arguments]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from driver import Driver, windows_path  # noqa: E402

BUILD_DIR = None
RUN = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "scripts", "run")
TITLE = "Orvane Diagnova"
MATCHED = "Checksum matched"
CANNOT_OPEN = "The report file cannot be opened:"
USAGE = ("Usage:\n  Diagnova [Options] <Filename>\n\nOptions:\n  /help\t Show this help message.\n\n"
         "Filename:\n\t The report file which is gererated by the Diagnova.\n"
         "\t You can also drag and drop the report file\n"
         "\t onto this application icon to see the same result.")
REPORT = (b"Runeveil 2 Test Report -- created by Diagnova v1.0.0.0\r\n\r\n"
          b"==============================================================================\r\n"
          b"= information about the current computer system\r\n"
          b"==============================================================================\r\n"
          b"Windows 7 Service Pack 1\r\n\r\n"
          b"\r\n<EOF>\r\n")
MESSAGE_TEXT = 0xFFFF
OK_BUTTON = 1  # Wine's message box gives its lone OK button IDOK


def mismatched(path):
    return "Checksum mismatched or missing!\n\n" + path


class VerifyModeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.driver = Driver(BUILD_DIR)
        cls.dir = tempfile.mkdtemp(prefix="dgn-verify-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def sealed(self, name, content=REPORT):
        """A report sealed by the program's own code; returns its Unix path."""
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(content)
        # On a loaded machine Wine now and then fails to start a program at
        # all (exit code 1, which seal_report itself only gives for no
        # argument); one more try tells that from a real fault.
        for attempt in range(2):
            done = subprocess.run(["wine", os.path.join(BUILD_DIR, "tests", "seal_report.exe"), windows_path(path)],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
            if done.returncode != 1:
                break
        done.check_returncode()
        return path

    def verify(self, start):
        """Starts Diagnova with the start command, reads its one message box,
        presses OK and returns the driver's result."""
        for _ in range(2):
            result = self.driver.run(start, ["wait-window", "--class", "#32770"], ["windows"], ["dump"],
                                     ["click", str(OK_BUTTON)], ["wait-exit"])
            # Under a busy X server Wine now and then fails to create a
            # message box at all; one more try tells that from a real fault.
            if result.get("error") != "the program ended before showing the window":
                break
        self.assertEqual(0, result.returncode, str(result))
        self.assertEqual(TITLE, result.get("title"), str(result))
        # Verification mode shows the message box and no other window.
        self.assertEqual(1, len(result.all("top_level")), str(result))
        return result

    def start(self, *arguments):
        return ["start", self.driver.program()] + list(arguments)

    def assertOutcome(self, result, text, exit_code):
        self.assertEqual(text, result.control_text(MESSAGE_TEXT), str(result))
        self.assertEqual(exit_code, result.exit_code, str(result))

    def test_sealed_report_with_blanks_in_its_path_matches(self):
        path = windows_path(self.sealed("sealed report.txt"))
        self.assertOutcome(self.verify(self.start(path)), MATCHED, 0)

    def test_changed_byte_or_missing_trailer_is_a_mismatch_exiting_minus_one(self):
        path = self.sealed("changed.txt")
        with open(path, "r+b") as f:
            f.seek(REPORT.index(b"Windows 7"))
            f.write(b"w")
        cut = self.sealed("cut.txt")
        with open(cut, "r+b") as f:
            f.truncate(len(REPORT))
        for report in (path, cut):
            with self.subTest(report=report):
                result = self.verify(self.start(windows_path(report)))
                self.assertOutcome(result, mismatched(windows_path(report)), -1)
                self.assertEqual("0xFFFFFFFF", result.get("exit_code_hex"))

    def test_help_shows_the_usage_and_a_file_that_cannot_be_opened_is_named_exiting_two(self):
        self.assertOutcome(self.verify(self.start("/help")), USAGE, 0)
        # The missing file's name and the system's reason; the file after it
        # is not looked at.
        missing = windows_path(os.path.join(self.dir, "no such report.txt"))
        result = self.verify(self.start(missing, windows_path(self.sealed("present.txt"))))
        text = result.control_text(MESSAGE_TEXT) or ""
        head = CANNOT_OPEN + "\n\n" + missing + "\n\n"
        self.assertTrue(text.startswith(head) and len(text) > len(head), text)
        self.assertEqual(2, result.exit_code, str(result))

    def test_names_outside_the_code_page_and_paths_beyond_260_characters_are_checked(self):
        # Cyrillic and Chinese letters that the code page of this Windows
        # (1252) lacks, and a path too long for the ANSI functions.
        foreign = os.path.join(self.dir, "\u043e\u0442\u0447\u0451\u0442 \u5831\u544a.txt")
        os.rename(self.sealed("foreign.txt"), foreign)
        deep = os.path.join(self.dir, "d" * 120, "e" * 120)
        os.makedirs(deep)
        long_path = os.path.join(deep, "Runeveil 2 Test.txt")
        os.rename(self.sealed("long.txt"), long_path)
        self.assertGreater(len(windows_path(long_path)), 260)
        for path in (foreign, long_path):
            with self.subTest(path=path):
                self.assertOutcome(self.verify(self.start(windows_path(path))), MATCHED, 0)

    def test_reports_of_four_gibibytes_never_pass_for_their_low_32_bits(self):
        # A sealed report followed by sparse zeros up to 4 GiB and up to 4 GiB
        # plus the report's own length: read by the low half of its size, the
        # second would be exactly the sealed report and match.
        for name, size in (("four.txt", 1 << 32), ("four plus.txt", (1 << 32) + len(REPORT) + 56)):
            with self.subTest(size=size):
                path = self.sealed(name)
                self.assertEqual(len(REPORT) + 56, os.path.getsize(path))
                os.truncate(path, size)
                try:
                    self.assertOutcome(self.verify(self.start(windows_path(path))),
                                       mismatched(windows_path(path)), -1)
                finally:
                    os.remove(path)

    def test_archives_are_checked_by_the_report_inside(self):
        # Info-ZIP's zip around a sealed report, an archive without a report,
        # one cut short, and one followed by zeros up to 4 GiB plus its own
        # length (whose size modulo 4 GiB would find the real end record).
        archive = os.path.join(self.dir, "from zip.zip")
        subprocess.run(["zip", "-q", "-j", archive, self.sealed("Solmere Test.txt")], check=True)
        no_report = os.path.join(self.dir, "no report.zip")
        subprocess.run(["zip", "-q", "-j", no_report, self.sealed("notes.txt")], check=True)
        with open(archive, "rb") as f:
            data = f.read()
        cut, huge = os.path.join(self.dir, "cut.zip"), os.path.join(self.dir, "huge.zip")
        for path, content in ((cut, data[:-10]), (huge, data)):
            with open(path, "wb") as f:
                f.write(content)
        os.truncate(huge, (1 << 32) + len(data))
        damaged = "The archive is damaged: it is cut short or incomplete.\n\n"
        try:
            for path, text, code in (
                    (archive, MATCHED, 0),
                    (no_report, 'No report in the archive: it holds no "<game> Test.txt".\n\n' + windows_path(no_report), -1),
                    (cut, damaged + windows_path(cut), -1),
                    (huge, damaged + windows_path(huge), -1)):
                with self.subTest(path=path):
                    self.assertOutcome(self.verify(self.start(windows_path(path))), text, code)
        finally:
            os.remove(huge)

    def test_only_the_first_of_two_files_counts(self):
        good = windows_path(self.sealed("good.txt"))
        bad = self.sealed("bad.txt")
        with open(bad, "r+b") as f:
            f.write(b"r")
        self.assertOutcome(self.verify(self.start(good, windows_path(bad))), MATCHED, 0)

    def test_unquoted_program_path_then_a_quoted_report_path(self):
        # Double-clicking or dropping gives a quoted program path; a command
        # prompt often does not. Every word is collected either way.
        program = self.driver.program()
        good = windows_path(self.sealed("line test.txt"))
        self.assertOutcome(self.verify(["start-raw", program, f'{program} "{good}"']), MATCHED, 0)

    def test_a_path_beyond_the_255th_character_is_checked_whole(self):
        # The line is longer than 255 characters and the path's name is cut
        # there. A file with the cut name exists and is unsealed, so a check of
        # the cut path would say "mismatched"; the whole path is sealed.
        program = self.driver.program()
        prefix = f'"{program}" "' + windows_path(self.dir) + "\\"
        head = "r" * (255 - len(prefix))
        name = head + "eport.txt"
        good = windows_path(self.sealed(name))
        with open(os.path.join(self.dir, head), "wb") as f:
            f.write(REPORT)
        line = f'"{program}" "{good}"'
        self.assertGreater(len(line), 255)
        self.assertLess(len(good), 260)
        self.assertOutcome(self.verify(["start-raw", program, line]), MATCHED, 0)

    def test_scripts_run_without_a_display_prints_each_outcome_and_ends(self):
        # Where nobody can see a message box (no DISPLAY, as over ssh) each
        # box is read and closed, its text and exit code printed, and the run
        # ends with the worst code; a program showing nothing is ended in
        # time. DIAGNOVA_RUN_BUILD checks with this build, building nothing.
        env = dict(os.environ, DIAGNOVA_RUN_BUILD=BUILD_DIR)
        env.pop("DISPLAY", None)
        good = os.path.join(self.dir, "good.zip")
        subprocess.run(["zip", "-q", "-j", good, self.sealed("Runeveil 2 Test.txt")], check=True)
        os.makedirs(os.path.join(self.dir, "tampered"))
        changed = self.sealed(os.path.join("tampered", "Runeveil 2 Test.txt"))
        with open(changed, "r+b") as f:
            f.seek(REPORT.index(b"Windows 7"))
            f.write(b"w")
        tampered = os.path.join(self.dir, "tampered.zip")
        subprocess.run(["zip", "-q", "-j", tampered, changed], check=True)
        missing = os.path.join(self.dir, "missing.zip")

        def run(*arguments, seconds=60, **extra):
            done = subprocess.run([RUN] + list(arguments), env=dict(env, **extra), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=seconds)
            text = done.stdout.decode("utf-8", "replace")
            said = lambda key: [l[len(key) + 2:] for l in text.splitlines() if l.startswith(key + ": ")]
            return done.returncode, text, said("outcome"), said("Diagnova exit code")

        rc, text, outcomes, codes = run(good)
        self.assertEqual((0, [MATCHED], ["0"]), (rc, outcomes, codes), text)
        # A mismatch (-1, 255 to the shell) outranks a file that cannot be
        # opened (2), which outranks a match.
        rc, text, outcomes, codes = run(tampered, missing, good, seconds=180)
        self.assertEqual((255, ["-1", "2", "0"]), (rc, codes), text)
        self.assertEqual(["Checksum mismatched or missing!", CANNOT_OPEN, MATCHED], outcomes, text)
        self.assertIn("\n  %s\\Runeveil 2 Test.txt\n" % windows_path(tampered), text)
        rc, text, outcomes, codes = run(good, DIAGNOVA_RUN_WAIT="0")
        self.assertEqual((1, ["none: no message box within 0 s; the program was ended"]), (rc, outcomes), text)
        # The main window nobody could reach is refused before anything is
        # set up or built.
        env.pop("DIAGNOVA_RUN_BUILD")
        rc, text, _, _ = run("--interactive", seconds=30)
        self.assertEqual(2, rc, text)
        self.assertEqual(1, len(text.splitlines()), text)
        self.assertIn("needs a display", text)


if __name__ == "__main__":
    BUILD_DIR = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
