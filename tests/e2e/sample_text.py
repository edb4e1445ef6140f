"""Deterministic sample files that look like what the archive really holds:
a diagnostics report, the launcher's XML configuration and game and launcher
logs. Compression ratios on such text differ a lot from random or repeated
bytes, so the archive checks and the benchmark use these."""

import random

_MODULES = ["Net", "Render", "Audio", "Patch", "Login", "World", "UI", "Input", "Chat", "Shader"]
_LEVELS = ["INFO", "INFO", "INFO", "DEBUG", "DEBUG", "WARN", "ERROR"]
_WORDS = ("connection established to gateway retry timeout texture cache loaded unloaded player "
          "session token refreshed frame budget exceeded packet queue latency region shard "
          "mount point config value default override missing asset bundle checksum verified "
          "download progress bytes remaining resolution adapter driver version memory pool").split()


def log_text(size, seed):
    rng = random.Random(seed)
    lines = []
    total = 0
    seconds = rng.randrange(0, 86400)
    while total < size:
        seconds += rng.choice((0, 0, 1, 1, 2, 7))
        h, m, s = (seconds // 3600) % 24, (seconds // 60) % 60, seconds % 60
        words = " ".join(rng.choice(_WORDS) for _ in range(rng.randrange(3, 12)))
        extra = rng.choice(["", "", f" id={rng.randrange(1 << 32):08x}", f" ms={rng.randrange(2000)}",
                            f" addr=10.{rng.randrange(256)}.{rng.randrange(256)}.{rng.randrange(256)}:{rng.randrange(1024, 65536)}"])
        line = (f"2026-12-{rng.randrange(1, 9):02d} {h:02d}:{m:02d}:{s:02d}.{rng.randrange(1000):03d} "
                f"[{rng.choice(_LEVELS):5}] {rng.choice(_MODULES)}: {words}{extra}\r\n")
        lines.append(line)
        total += len(line)
    return "".join(lines).encode("ascii")[:size]


def report_text(size, seed):
    rng = random.Random(seed)
    parts = ["Orvane Diagnova report\r\n"]
    total = len(parts[0])
    section = 0
    while total < size:
        section += 1
        block = [f"\r\n=== Section {section} ===\r\n"]
        for _ in range(rng.randrange(10, 60)):
            key = rng.choice(["Process", "Module", "Adapter", "Value", "Route hop", "Server"])
            block.append(f"{key} {rng.randrange(10000)}\tC:\\Windows\\System32\\{rng.choice(_WORDS)}{rng.randrange(100)}.dll"
                         f"\t{rng.randrange(1, 10)}.{rng.randrange(100)}.{rng.randrange(10000)}\t{rng.randrange(1 << 20)} KB\r\n")
        text = "".join(block)
        parts.append(text)
        total += len(text)
    return "".join(parts).encode("ascii")[:size]


def xml_text(games, seed):
    rng = random.Random(seed)
    out = ['<?xml version="1.0" encoding="utf-8"?>\r\n<Games>\r\n']
    for i in range(games):
        out.append(f'  <Game id="{i}" name="{rng.choice(_WORDS).title()} {i}" version="{rng.randrange(1, 9)}.{rng.randrange(100)}">\r\n'
                   f'    <InstallPath>C:\\Program Files\\Orvane\\Game{i}</InstallPath>\r\n'
                   f'    <Region>{rng.choice(["US", "EU", "US/EU"])}</Region>\r\n  </Game>\r\n')
    out.append("</Games>\r\n")
    return "".join(out).encode("ascii")
