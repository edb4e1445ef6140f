"""The verification mode end to end: the real Diagnova.exe under Wine, started
with report and archive paths, its message box read and answered through
dgn_driver; and scripts/run FILE... on a machine without a display.

Reports are sealed by tests/seal_report.exe, which uses the program's own
sealing code. Run by ctest with WINEPREFIX and DISPLAY set (scripts/test).
usage: verify_mode_test.py BUILD_DIR [unittest arguments]
"""
import json
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
CHECK_LIST = 1060      # the list window's rows
CHECK_FINDINGS = 1062  # the selected file's findings
CHECKING = "Checking..."
GAME = "Runeveil 2"  # REPORT's header line, as the findings read it
CUT_SHORT = "The archive is damaged: it is cut short or incomplete."


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

    def archive(self, name, member="Runeveil 2 Test.txt", change=None, cut=False):
        """Info-ZIP's zip around a sealed report; change replaces the report's
        first "Windows 7" after sealing; cut drops the archive's last bytes."""
        report_dir = tempfile.mkdtemp(dir=self.dir)
        report = self.sealed(os.path.join(report_dir, member))
        if change:
            with open(report, "r+b") as f:
                f.seek(REPORT.index(b"Windows 7"))
                f.write(change)
        path = os.path.join(self.dir, name)
        if os.path.exists(path):  # zip would add to it
            os.remove(path)
        subprocess.run(["zip", "-q", "-j", path, report], check=True)
        if cut:
            with open(path, "rb") as f:
                data = f.read()
            with open(path, "wb") as f:
                f.write(data[:-10])
        return path

    def list_window(self, start):
        """Starts Diagnova with the start command, waits until its list window
        has checked every row, reads the rows and the findings of the first,
        closes it and returns the driver's result and the rows' cells."""
        result = self.driver.run(start, ["timeout", "30000"], ["wait-window", "--control", str(CHECK_LIST)],
                                 ["list-items", str(CHECK_LIST), "--until-none-reads", CHECKING],
                                 ["text", str(CHECK_FINDINGS)], ["close"], ["wait-exit"], timeout=90)
        self.assertEqual(0, result.returncode, str(result))
        rows = [line.split("\t")[1:] for line in result.all("list_item")]
        return result, rows

    def console(self, *arguments):
        """Runs Diagnova's console form with standard output in a file;
        returns the exit code (as a signed number) and the lines."""
        out = os.path.join(self.dir, "console.out")
        with open(out, "wb") as f:
            done = subprocess.run(["wine", os.path.join(BUILD_DIR, "Diagnova.exe")] + list(arguments),
                                  stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.DEVNULL, timeout=120)
        with open(out, "rb") as f:
            lines = f.read().decode("utf-8").split("\r\n")
        self.assertEqual("", lines.pop(), "every line ends in CR LF")
        return done.returncode - 256 if done.returncode > 127 else done.returncode, lines

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
        # The missing file's name and the system's reason.
        missing = windows_path(os.path.join(self.dir, "no such report.txt"))
        result = self.verify(self.start(missing))
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

    def test_several_files_open_one_list_window_that_checks_every_file(self):
        # Three archives dropped at once: one good, one whose report changed
        # by one letter, one cut short; and a file that is not there. Each
        # order gives every row its own outcome and the worst exit code.
        good = windows_path(self.archive("dropped good.zip"))
        tampered = windows_path(self.archive("dropped tampered.zip", change=b"w"))
        cut = windows_path(self.archive("dropped cut.zip", cut=True))
        missing = windows_path(os.path.join(self.dir, "dropped missing.zip"))
        # A matched row's details name the report's game, as its findings
        # read it.
        expected = {good: ["Matched", good, GAME], tampered: ["Mismatched or unsealed", tampered, "Runeveil 2 Test.txt"],
                    cut: ["Archive damaged", cut, CUT_SHORT]}
        for files, code in (([good, tampered, cut], -1), ([tampered, good], -1), ([good, missing], 2)):
            with self.subTest(files=files):
                result, rows = self.list_window(self.start(*files))
                self.assertEqual(len(files), len(rows), str(result))
                for path, row in zip(files, rows):
                    if path == missing:
                        self.assertEqual(["Cannot be opened", missing], row[:2])
                        self.assertTrue(row[2], "the system's reason")
                    else:
                        self.assertEqual(expected[path], row)
                self.assertEqual(code, result.exit_code, str(result))
        # The first row is selected: a matched report's findings (none from
        # this short report) under its path.
        self.assertTrue(result.get("text").startswith(good + "\r\n\r\n"), str(result))

    def test_a_folder_or_list_opens_the_window_for_its_archives_and_reports(self):
        folder = os.path.join(self.dir, "ten archives")
        os.makedirs(folder)
        for i in range(10):
            os.rename(self.archive(f"{i:02d}.zip", member="Solmere Test.txt"), os.path.join(folder, f"{i:02d}.zip"))
        with open(os.path.join(folder, "notes.doc"), "wb") as f:
            f.write(b"not checked")
        result, rows = self.list_window(self.start(windows_path(folder)))
        self.assertEqual([["Matched", windows_path(os.path.join(folder, f"{i:02d}.zip")), GAME] for i in range(10)],
                         rows)
        self.assertEqual(0, result.exit_code, str(result))
        # "/list" opens the window for one file too; a changed report gets
        # no findings, only why.
        changed = self.sealed("changed for list.txt")
        with open(changed, "r+b") as f:
            f.write(b"r")
        result, rows = self.list_window(self.start("/list", windows_path(changed)))
        self.assertEqual([["Mismatched or unsealed", windows_path(changed), ""]], rows)
        self.assertIn("Nothing in it can be trusted", result.get("text"))
        self.assertEqual(-1, result.exit_code, str(result))

    def test_check_and_json_write_a_line_per_file_and_exit_with_the_worst_outcome(self):
        good = windows_path(self.archive("console good.zip"))
        report = windows_path(self.sealed("console report.txt"))
        tampered = windows_path(self.archive("console tampered.zip", change=b"w"))
        cut = windows_path(self.archive("console cut.zip", cut=True))
        foreign = os.path.join(self.dir, "\u043e\u0442\u0447\u0451\u0442 \u5831\u544a.zip")
        os.rename(self.archive("foreign.zip"), foreign)
        foreign = windows_path(foreign)
        missing = windows_path(os.path.join(self.dir, "console missing.zip"))
        code, lines = self.console("/check", good, foreign, report)
        self.assertEqual([f"matched\t{good}\tChecksum matched", f"matched\t{foreign}\tChecksum matched",
                          f"matched\t{report}\tChecksum matched"], lines)
        self.assertEqual(0, code)
        code, lines = self.console("/check", good, missing)
        self.assertEqual(2, code)
        self.assertTrue(lines[1].startswith(f"cannot-open\t{missing}\tThe report file cannot be opened: "), lines)
        # A mismatch or a damaged archive outranks a file that cannot be opened.
        code, lines = self.console("/check", "/json", missing, cut, tampered, good)
        self.assertEqual(-1, code)
        objects = [json.loads(line) for line in lines]
        self.assertEqual(["cannot-open", "damaged", "mismatched", "matched"], [o["outcome"] for o in objects])
        self.assertEqual([missing, cut, tampered, good], [o["path"] for o in objects])
        self.assertEqual({"outcome": "damaged", "path": cut, "game": None, "member": None, "reason": CUT_SHORT,
                          "findings": []}, objects[1])
        self.assertEqual("Runeveil 2 Test.txt", objects[2]["member"])
        self.assertEqual("Checksum mismatched or missing!", objects[2]["reason"])
        self.assertEqual({"outcome": "matched", "path": good, "member": "Runeveil 2 Test.txt",
                          "reason": "Checksum matched"},
                         {k: objects[3][k] for k in ("outcome", "path", "member", "reason")})
        self.assertEqual(GAME, objects[3]["game"])
        self.assertEqual([], objects[3]["findings"])
        # A folder without archives or reports is not skipped in silence.
        empty = os.path.join(self.dir, "empty ticket")
        os.makedirs(empty)
        code, lines = self.console("/check", windows_path(empty))
        self.assertEqual(2, code)
        self.assertEqual([f"cannot-open\t{windows_path(empty)}"], [l.rsplit("\t", 1)[0] for l in lines])
        # No file: the console usage, and no file checked is not a success.
        code, lines = self.console("/json")
        self.assertEqual(2, code)
        self.assertTrue(lines[0].startswith("Usage:"), lines)

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
