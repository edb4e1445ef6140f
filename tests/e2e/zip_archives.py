#!/usr/bin/env python3
"""Makes archives with the ZIP writer (tests/tools/zip_tool.exe under Wine)
and checks them with independent readers: 7-Zip, Info-ZIP unzip and zipinfo,
libarchive's bsdtar and Python's zipfile. An archive passes only when every
reader accepts it without a warning and returns the original bytes; a parser
of our own then checks the records field by field, including that local and
central headers agree and that no byte of the file is unaccounted for.

Usage: zip_archives.py ZIP_TOOL_EXE [CLASS]   (run with TZ=UTC and WINEPREFIX set;
CLASS ZipArchives or ManyEntries, default both)
"""

import calendar
import datetime
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zoneinfo
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sample_text  # noqa: E402

TOOL = None

OK = 0x00000000
ERR_NO_FILE = 0x00000200
ERR_ARGS = 0x00010000
ERR_TOO_LARGE = 0x00020000
ERR_TOO_MANY = 0x00040000

NORMAL_FILE = 0x81800020
READ_ONLY_FILE = 0x81000021


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_tool(archive, *args, tz=None):
    """Runs zip_tool make; returns ([(name, code)...], close code, repeat lines)."""
    env = dict(os.environ, WINEDEBUG="-all")
    if tz:
        env["TZ"] = tz
    out = subprocess.run(["wine", TOOL, "make", wine_path(archive), *args], env=env,
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    text = out.stdout.decode("latin-1")
    adds = [(m.group(1), int(m.group(2), 16)) for m in re.finditer(r"^add (.*) 0x([0-9A-F]{8})\r?$", text, re.M)]
    close = re.search(r"^close 0x([0-9A-F]{8})", text, re.M)
    repeats = re.findall(r"^repeat added (\d+) first_failure (\d+) 0x([0-9A-F]{8})", text, re.M)
    if close is None:
        raise AssertionError(f"zip_tool failed: rc={out.returncode} out={text!r} err={out.stderr!r}")
    return adds, int(close.group(1), 16), repeats


def write(path, data, mtime=None, mode=None):
    with open(path, "wb") as f:
        f.write(data)
    if mtime is not None:
        os.utime(path, ns=(mtime * 10**9, mtime * 10**9))
    if mode is not None:
        os.chmod(path, mode)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


def deflate8(data):
    c = zlib.compressobj(8, zlib.DEFLATED, -15, 8)
    return c.compress(data) + c.flush()


def utc(*fields):
    return calendar.timegm(fields + (0,) * (6 - len(fields)))


# ---------------------------------------------------------------- our parser

def parse_archive(data):
    """Walks the archive front to back and returns its members; raises on any
    inconsistency between the records or any byte not covered by a record."""
    assert data[-22:-18] == b"PK\x05\x06", "end record is not the last 22 bytes"
    (sig, disk, cd_disk, count_here, count, cd_size, cd_offset, comment) = struct.unpack("<IHHHHIIH", data[-22:])
    assert (disk, cd_disk, comment) == (0, 0, 0)
    assert count_here == count
    assert cd_offset + cd_size == len(data) - 22, "central directory does not end at the end record"
    members = []
    pos = cd_offset
    for _ in range(count):
        fields = struct.unpack("<IHHHHHHIIIHHHHHII", data[pos:pos + 46])
        (sig, made_by, needed, flags, method, dos_time, dos_date, crc, csize, size, nlen, xlen, clen,
         disk_start, internal, external, offset) = fields
        assert sig == 0x02014B50
        name = data[pos + 46:pos + 46 + nlen]
        extra = data[pos + 46 + nlen:pos + 46 + nlen + xlen]
        assert (clen, disk_start, internal) == (0, 0, 0)
        members.append(dict(made_by=made_by, needed=needed, flags=flags, method=method, dos_time=dos_time,
                            dos_date=dos_date, crc=crc, csize=csize, size=size, name=name.decode("latin-1"),
                            central_extra=extra, external=external, offset=offset))
        pos += 46 + nlen + xlen
    assert pos == cd_offset + cd_size
    expected_offset = 0
    for m in members:
        assert m["offset"] == expected_offset, f"gap or overlap before {m['name']}"
        lh = struct.unpack("<IHHHHHIIIHH", data[expected_offset:expected_offset + 30])
        (sig, needed, flags, method, dos_time, dos_date, crc, csize, size, nlen, xlen) = lh
        assert sig == 0x04034B50
        assert (needed, flags, method, dos_time, dos_date, crc, csize, size) == (
            m["needed"], m["flags"], m["method"], m["dos_time"], m["dos_date"], m["crc"], m["csize"], m["size"]), m["name"]
        start = expected_offset + 30
        assert data[start:start + nlen].decode("latin-1") == m["name"]
        m["local_extra"] = data[start + nlen:start + nlen + xlen]
        body = data[start + nlen + xlen:start + nlen + xlen + m["csize"]]
        if m["method"] == 8:
            inflater = zlib.decompressobj(-15)
            plain = inflater.decompress(body) + inflater.flush()
            assert inflater.eof and not inflater.unused_data, f"{m['name']}: stream does not end with the data"
        else:
            plain = body
        assert len(plain) == m["size"] and zlib.crc32(plain) == m["crc"], m["name"]
        m["data"] = plain
        expected_offset = start + nlen + xlen + m["csize"]
    assert expected_offset == cd_offset, "bytes between the last member and the central directory"
    return members


def dos_fields(m):
    d, t = m["dos_date"], m["dos_time"]
    return ((d >> 9) + 1980, (d >> 5) & 15, d & 31, t >> 11, (t >> 5) & 63, (t & 31) * 2)


def ut_times(m):
    local, central = m["local_extra"], m["central_extra"]
    assert len(local) == 17 and local[:5] == b"UT\x0d\x00\x07", local
    assert len(central) == 9 and central[:5] == b"UT\x05\x00\x07", central
    mtime, atime, ctime = struct.unpack("<III", local[5:])
    assert struct.unpack("<I", central[5:])[0] == mtime
    return mtime, atime, ctime


# ------------------------------------------------------------ other readers

def check_readers(archive, expected):
    """expected: list of (name, bytes) in archive order."""
    names = [n for n, _ in expected]
    out = subprocess.run(["7z", "t", archive], capture_output=True, text=True)
    assert out.returncode == 0 and "Everything is Ok" in out.stdout, out.stdout + out.stderr
    assert not re.search(r"warning|error", out.stdout + out.stderr, re.I), out.stdout + out.stderr

    out = subprocess.run(["unzip", "-tqq", archive], capture_output=True, text=True)
    assert out.returncode == 0 and out.stdout == "" and out.stderr == "", (out.returncode, out.stdout, out.stderr)

    out = subprocess.run(["bsdtar", "-xOf", archive], capture_output=True)
    assert out.returncode == 0 and out.stderr == b"", out.stderr
    assert out.stdout == b"".join(data for _, data in expected), "bsdtar returned other bytes"

    with zipfile.ZipFile(archive) as z:
        assert z.testzip() is None
        assert z.namelist() == names
        for name, data in expected:
            info = z.getinfo(name)
            assert z.read(name) == data and info.CRC == zlib.crc32(data), name

    out = subprocess.run(["zipinfo", "-v", archive], capture_output=True, text=True)
    assert out.returncode == 0 and "warning" not in (out.stdout + out.stderr).lower(), out.stdout[-2000:]
    return out.stdout


def zipinfo_entries(text):
    return re.split(r"^Central directory entry #\d+:\n-+\n", text, flags=re.M)[1:]


class ArchiveFolder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="zipe2e")
        self.dir = self.tmp.name

    def tearDown(self):
        for root, dirs, files in os.walk(self.dir):
            for f in files:
                os.chmod(os.path.join(root, f), 0o644)
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)


class ZipArchives(ArchiveFolder):
    def test_mixed_members_are_read_alike_by_every_reader(self):
        report = sample_text.report_text(150_000, 1)
        big = sample_text.log_text(6_000_000, 2)
        packed = zlib.compress(sample_text.log_text(40_000, 3), 9)
        long_name = "Skellan\\Logs\\" + "n" * (259 - len("Skellan\\Logs\\") - 4) + ".log"
        self.assertEqual(259, len(long_name))
        files = [
            (write(self.path("report.txt"), report, mtime=utc(2026, 12, 7, 10, 11, 12)), "Runeveil 2 Test.txt"),
            (write(self.path("Games.xml"), sample_text.xml_text(40, 4)), "Launcher\\Games.xml"),
            (write(self.path("empty.log"), b""), "Launcher\\Logs\\OrvaneApplicationLog.txt"),
            (write(self.path("big.log"), big), "Skellan\\Logs\\Client.log"),
            (write(self.path("old.zip"), packed), "Skellan\\Logs\\Backup.ZIP"),
            (write(self.path("old.gz"), packed), "Skellan\\Logs\\old.log.gz"),
            (write(self.path("notes"), b"plain notes\r\n" * 50), "notes.gz.d\\readme"),
            (write(self.path("ancient.log"), b"from 1965\r\n" * 20, mtime=utc(1965, 3, 4, 12, 34, 56)), "ancient.log"),
            (write(self.path("future.log"), b"from 2050\r\n" * 20, mtime=utc(2050, 6, 7, 8, 9, 10)), "future.log"),
            (write(self.path("locked.txt"), b"read only\r\n", mode=0o444), "read only.txt"),
            (write(self.path("long.log"), b"long name\r\n"), long_name),
        ]
        archive = self.path("out.zip")
        args = []
        for source, name in files:
            args += [wine_path(source), name]
        refused = [
            (wine_path(self.path("long.log")), long_name + "x", ERR_ARGS),
            (wine_path(self.path("missing.log")), "missing.log", ERR_NO_FILE),
            (wine_path(self.path("report.txt")), "", ERR_ARGS),
        ]
        # Refused members go in the middle, so later members show that they left no trace.
        for source, name, _ in refused:
            args[4:4] = [source, name]
        adds, close, _ = run_tool(archive, *args)
        self.assertEqual(OK, close)
        codes = {name: code for name, code in adds}
        for _, name, code in refused:
            self.assertEqual(code, codes.pop(name), name)
        self.assertEqual({name: OK for _, name in files}, codes)

        contents = {name: read(source) for source, name in files}
        stored_names = [name.replace("\\", "/") for _, name in files]
        expected = [(name.replace("\\", "/"), contents[name]) for _, name in files]
        info = check_readers(archive, expected)
        members = parse_archive(read(archive))
        self.assertEqual(stored_names, [m["name"] for m in members])

        by_name = {m["name"]: m for m in members}
        for m in members:
            self.assertEqual((0x0B17, 20), (m["made_by"], m["needed"]), m["name"])
            stored = m["name"].endswith((".ZIP", ".gz"))
            self.assertEqual((0, 0) if stored else (8, 2), (m["method"], m["flags"]), m["name"])
            if stored:
                self.assertEqual(m["size"], m["csize"])
        self.assertEqual(NORMAL_FILE, by_name["Runeveil 2 Test.txt"]["external"])
        self.assertEqual(READ_ONLY_FILE, by_name["read only.txt"]["external"])

        empty = by_name["Launcher/Logs/OrvaneApplicationLog.txt"]
        self.assertEqual((0, 0, 8, 2), (empty["crc"], empty["size"], empty["method"], empty["flags"]))
        self.assertEqual(2, empty["csize"])  # the empty fixed-Huffman block that ends the stream

        report_member = by_name["Runeveil 2 Test.txt"]
        self.assertEqual((2026, 12, 7, 10, 11, 12), dos_fields(report_member))
        self.assertEqual(utc(2026, 12, 7, 10, 11, 12), ut_times(report_member)[0])

        ancient = by_name["ancient.log"]
        self.assertEqual((1980, 1, 1, 0, 0, 0), dos_fields(ancient))
        mtime, atime, _ = ut_times(ancient)
        self.assertEqual((utc(1970, 1, 1, 12, 34, 56),) * 2, (mtime, atime))

        future = by_name["future.log"]
        self.assertEqual((2050, 6, 7, 8, 9, 10), dos_fields(future))
        mtime, atime, _ = ut_times(future)
        self.assertEqual((utc(2037, 12, 31, 8, 9, 10),) * 2, (mtime, atime))

        for m in members:
            ctime = ut_times(m)[2]
            self.assertTrue(0 <= ctime <= utc(2037, 12, 31, 23, 59, 59), m["name"])

        # zipinfo's own reading of the same fields.
        entries = zipinfo_entries(info)
        self.assertEqual(len(files), len(entries))
        for entry in entries:
            self.assertIn("file system or operating system of origin:      NTFS", entry)
            self.assertIn("version of encoding software:                   2.3", entry)
            self.assertIn("minimum software version required to extract:   2.0", entry)
            self.assertIn("extended local header:                          no", entry)
            self.assertIn("A subfield with ID 0x5455 (universal time) and 5 data bytes.", entry)
            self.assertIn("The local extra field has UTC/GMT modification/access/creation times.", entry)
        ancient_entry = next(e for e in entries if e.lstrip().startswith("ancient.log"))
        self.assertIn("file last modified on (DOS date/time):          1980 Jan 1 00:00:00", ancient_entry)
        self.assertIn("file last modified on (UT extra field modtime): 1970 Jan 1 12:34:56 UTC", ancient_entry)
        future_entry = next(e for e in entries if e.lstrip().startswith("future.log"))
        self.assertIn("file last modified on (UT extra field modtime): 2037 Dec 31 08:09:10 UTC", future_entry)
        read_only_entry = next(e for e in entries if e.lstrip().startswith("read only.txt"))
        self.assertIn("MS-DOS file attributes (21 hex):                rdo arc", read_only_entry)
        stored_entry = next(e for e in entries if e.lstrip().startswith("Skellan/Logs/Backup.ZIP"))
        self.assertIn("compression method:                             none (stored)", stored_entry)
        big_entry = next(e for e in entries if e.lstrip().startswith("Skellan/Logs/Client.log"))
        self.assertIn("compression sub-type (deflation):               maximum", big_entry)
        self.assertIn("uncompressed size:                              6000000 bytes", big_entry)

    def test_extended_timestamps_are_utc_in_any_time_zone(self):
        # Sydney keeps summer time from October to April, New York from March
        # to November: whenever this runs, at least one of them is in it.
        mtime = utc(2026, 1, 15, 12, 0, 0)
        source = write(self.path("s.txt"), b"zone\r\n", mtime=mtime)
        for zone in ("Australia/Sydney", "America/New_York", "UTC"):
            with self.subTest(zone=zone):
                archive = self.path("zone.zip")
                offset = datetime.datetime.now(zoneinfo.ZoneInfo(zone)).utcoffset()
                adds, close, _ = run_tool(archive, wine_path(source), "s.txt", tz=zone)
                self.assertEqual(([("s.txt", OK)], OK), (adds, close))
                member = parse_archive(read(archive))[0]
                self.assertEqual(mtime, ut_times(member)[0])
                local = datetime.datetime.fromtimestamp(mtime, datetime.timezone.utc) + offset
                self.assertEqual((local.year, local.month, local.day, local.hour, local.minute, local.second),
                                 dos_fields(member))

    def test_deflate_output_ending_exactly_at_a_block_boundary(self):
        # Incompressible bytes whose raw DEFLATE stream (level 8, as the host's
        # zlib makes it) is exactly two 16 KB output blocks long.
        rng = random.Random(7)
        noise = bytes(rng.getrandbits(8) for _ in range(40000))
        length = next(n for n in range(32600, 32800) if len(deflate8(noise[:n])) == 32768)
        source = write(self.path("edge.bin"), noise[:length])
        adds, close, _ = run_tool(self.path("edge.zip"), wine_path(source), "edge.bin")
        self.assertEqual(([("edge.bin", OK)], OK), (adds, close))
        check_readers(self.path("edge.zip"), [("edge.bin", noise[:length])])
        self.assertEqual(32768, parse_archive(read(self.path("edge.zip")))[0]["csize"],
                         "the writer's zlib and the host's should make the same stream")

    def test_archive_without_members_is_the_bare_end_record(self):
        archive = self.path("empty.zip")
        adds, close, _ = run_tool(archive)
        self.assertEqual(([], OK), (adds, close))
        data = read(archive)
        self.assertEqual(b"PK\x05\x06" + b"\x00" * 18, data)
        self.assertEqual([], parse_archive(data))
        with zipfile.ZipFile(archive) as z:
            self.assertEqual([], z.namelist())
        self.assertEqual(0, subprocess.run(["7z", "t", archive], capture_output=True).returncode)
        self.assertEqual(0, subprocess.run(["bsdtar", "-xOf", archive], capture_output=True).returncode)
        # Info-ZIP reports any archive without members as "zipfile is empty"
        # (exit code 1), whoever wrote it; a report archive always holds the report.
        out = subprocess.run(["unzip", "-tqq", archive], capture_output=True, text=True)
        self.assertIn("zipfile is empty", out.stdout + out.stderr)

    def test_members_past_the_format_limits_are_refused_and_leave_no_trace(self):
        small = write(self.path("small.txt"), sample_text.log_text(5_000, 5))
        noise = write(self.path("noise.txt"), os.urandom(300_000))
        noise_gz = write(self.path("noise.gz"), os.urandom(300_000))
        cases = [
            # Deflated data outgrows the room while it is written: cut off again.
            (["--limits", "200000", "0", "0"], [(noise, "noise.txt", ERR_TOO_LARGE)]),
            # A stored member is measured before anything is written.
            (["--limits", "200000", "0", "0"], [(noise_gz, "noise.gz", ERR_TOO_LARGE)]),
            # A source larger than a member may be.
            (["--limits", "0", "100000", "0"], [(noise, "noise.txt", ERR_TOO_LARGE)]),
            # The entry count is full after two members.
            (["--limits", "0", "0", "2"], [(small, "third.txt", ERR_TOO_MANY), (small, "fourth.txt", ERR_TOO_MANY)]),
        ]
        for limits, refused in cases:
            with self.subTest(limits=limits, refused=refused[0][1]):
                archive = self.path("limits.zip")
                args = list(limits) + [wine_path(small), "first.txt"]
                if limits[3] == "0":
                    for source, name, _ in refused:
                        args += [wine_path(source), name]
                    args += [wine_path(small), "last.txt"]
                    expected_names = ["first.txt", "last.txt"]
                else:
                    args += [wine_path(small), "last.txt"]
                    for source, name, _ in refused:
                        args += [wine_path(source), name]
                    expected_names = ["first.txt", "last.txt"]
                adds, close, _ = run_tool(archive, *args)
                self.assertEqual(OK, close)
                codes = dict(adds)
                for _, name, code in refused:
                    self.assertEqual(code, codes[name], name)
                data = read(small)
                check_readers(archive, [(n, data) for n in expected_names])
                members = parse_archive(read(archive))
                self.assertEqual(expected_names, [m["name"] for m in members])
                self.assertLessEqual(os.path.getsize(archive), int(limits[1]) or 0xFFFFFFFE)

    def test_sources_of_four_gigabytes_are_refused_before_anything_is_written(self):
        small = write(self.path("small.txt"), b"kept\r\n" * 100)
        huge = self.path("huge.bin")
        edge = self.path("edge.bin")
        # Sparse files: no disk space and nothing is read, the size alone decides.
        with open(huge, "wb") as f:
            f.truncate((1 << 32) + 1)
        with open(edge, "wb") as f:
            f.truncate(0xFFFFFFFF)  # the ZIP64 marker value is no valid size either
        archive = self.path("huge.zip")
        adds, close, _ = run_tool(archive, wine_path(small), "a.txt", wine_path(huge), "huge.bin",
                                  wine_path(edge), "edge.gz", wine_path(small), "b.txt")
        self.assertEqual(([("a.txt", OK), ("huge.bin", ERR_TOO_LARGE), ("edge.gz", ERR_TOO_LARGE), ("b.txt", OK)], OK),
                         (adds, close))
        data = read(small)
        check_readers(archive, [("a.txt", data), ("b.txt", data)])


# The entry limit at its real value: a minute and a half under Wine (each file
# open costs Wine over a millisecond), so it has a ctest entry of its own
# that runs beside the others; the lowered limits above cover the same code
# path quickly.
class ManyEntries(ArchiveFolder):
    def test_the_65535th_entry_is_the_last_one(self):
        source = write(self.path("tiny.gz"), b"x")
        archive = self.path("many.zip")
        _, close, repeats = run_tool(archive, "--repeat", "65537", wine_path(source), "m%05lu.gz")
        self.assertEqual(OK, close)
        self.assertEqual([("65535", "65535", "00040000")], repeats)
        members = parse_archive(read(archive))
        self.assertEqual(65535, len(members))
        self.assertEqual("m65534.gz", members[-1]["name"])
        check_readers(archive, [(f"m{i:05d}.gz", b"x") for i in range(65535)])


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
