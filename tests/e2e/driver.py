"""Runs tests/dgn_driver.exe under Wine and parses what it prints.

One call of Driver.run() is one driver process: its commands run in order and
share the started program's handle, so "start", "wait-window", "click" and
"wait-exit" belong in the same call. The environment (WINEPREFIX, DISPLAY)
comes from the caller, normally scripts/test.
"""
import os
import subprocess
from dataclasses import dataclass, field
from typing import List, Optional, Tuple


def windows_path(unix_path: str) -> str:
    """The Wine Z: drive path of a Unix path."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def unescape(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


@dataclass
class Control:
    id: int
    cls: str
    visible: bool
    text: str


@dataclass
class Result:
    returncode: int
    lines: List[Tuple[str, str]] = field(default_factory=list)
    stderr: str = ""

    def get(self, key: str) -> Optional[str]:
        """The last value printed under key, unescaped, or None."""
        values = self.all(key)
        return values[-1] if values else None

    def all(self, key: str) -> List[str]:
        return [unescape(v) for k, v in self.lines if k == key]

    @property
    def controls(self) -> List[Control]:
        found = []
        for k, v in self.lines:
            if k == "control":
                ident, cls, visible, text = v.split("\t", 3)
                found.append(Control(int(ident), unescape(cls), visible == "1", unescape(text)))
        return found

    def control_text(self, ident: int) -> Optional[str]:
        for control in self.controls:
            if control.id == ident:
                return control.text
        return None

    @property
    def exit_code(self) -> Optional[int]:
        """The program's exit code as a signed 32-bit number (-1 for 0xFFFFFFFF)."""
        value = self.get("exit_code")
        return None if value is None else int(value)

    def __str__(self) -> str:
        return "\n".join(f"{k}: {v}" for k, v in self.lines) + (f"\n[stderr]\n{self.stderr}" if self.stderr else "")


class Driver:
    def __init__(self, build_dir: str, wine: str = "wine"):
        self.build_dir = os.path.abspath(build_dir)
        self.exe = os.path.join(self.build_dir, "tests", "dgn_driver.exe")
        self.wine = wine

    def program(self, name: str = "Diagnova.exe") -> str:
        return windows_path(os.path.join(self.build_dir, name))

    def run(self, *commands: List[str], timeout: float = 60) -> Result:
        """Runs the commands (each a list of words) in one driver process."""
        argv = [self.wine, self.exe]
        for i, command in enumerate(commands):
            if i:
                argv.append("+")
            argv.extend(command)
        done = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout)
        result = Result(done.returncode, stderr=done.stderr.decode("latin-1"))
        for line in done.stdout.decode("latin-1").splitlines():
            key, sep, value = line.partition(": ")
            if sep:
                result.lines.append((key, value))
        return result
