#!/usr/bin/python3
"""Checks the sealed test network itself: names resolve to the planned
addresses, the stand-in services answer as each scenario says, proxies are
gone, and nothing beyond the namespace can be reached.

Each case runs a small Python probe inside the namespace and compares what it
prints with the expected text as a whole."""

import os
import subprocess
import sys
import textwrap
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sealed_run  # noqa: E402

PROBE = textwrap.dedent(r'''
    import os, socket, sys, time
    def connect(address, port, limit=1.0):
        s = socket.socket(); s.settimeout(limit)
        try:
            s.connect((address, port)); return "accepted"
        except ConnectionRefusedError: return "refused"
        except socket.timeout: return "silent"
        except OSError as e: return "error %d" % e.errno
        finally: s.close()
    def get(host, path):
        s = socket.create_connection((host, 80), timeout=2)
        s.sendall(("GET %s HTTP/1.0\r\nHost: %s\r\nUser-Agent: probe\r\n\r\n" % (path, host)).encode())
        data = b""
        while True:
            chunk = s.recv(4096)
            if not chunk: break
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode().split("\r\n")
        length = [l.split(":", 1)[1].strip() for l in lines if l.lower().startswith("content-length:")]
        return "%s length=%s body=%r" % (lines[0].split(" ", 1)[1], length[0] if length else "none", body)
    for line in sys.stdin.read().splitlines():
        kind, _, arg = line.partition(" ")
        if kind == "resolve":
            try: r = " ".join(a[4][0] for a in socket.getaddrinfo(arg, None, socket.AF_INET, socket.SOCK_STREAM))
            except socket.gaierror: r = "unresolved"
        elif kind == "connect":
            address, port = arg.rsplit(":", 1); r = connect(address, int(port))
        elif kind == "get":
            host, path = arg.split(" ", 1)
            try: r = get(host, path)
            except OSError as e: r = "error %s" % type(e).__name__
        elif kind == "env":
            r = os.environ.get(arg, "(unset)")
        print("%s %s -> %s" % (kind, arg, r))
''')


def probe(scenario, requests, **kwargs):
    env = dict(os.environ, http_proxy="http://192.0.2.200:3128/", no_proxy="nothing")
    proc = subprocess.run(
        sealed_run.outer_command(["--scenario", scenario, "--wine-prefix", "/nonexistent-prefix"] +
                                 kwargs.get("extra", []) + ["--", "/usr/bin/python3", "-c", PROBE]),
        input="\n".join(requests), capture_output=True, text=True, env=env, timeout=60)
    if proc.returncode != 0:
        raise AssertionError("probe failed: %s" % proc.stderr)
    return proc.stdout


class SealedNetwork(unittest.TestCase):
    maxDiff = None

    def test_all_reachable_resolves_serves_and_accepts(self):
        out = probe("all_reachable", [
            "resolve auth.runeveil.example",
            "resolve patch.solmere.example",
            "resolve www.example.com",
            "get update.orvane.example /diagnova/download/version.txt",
            "get update.orvane.example /diagnova/download/Diagnova.exe",
            "get checkip.orvane.example /",
            "connect 192.0.2.12:6112",
            "connect 203.0.113.13:7777",
            "connect 198.51.100.21:10241",
            "connect 192.0.2.31:2106",
            "env http_proxy",
            "env no_proxy",
        ])
        self.assertEqual(out, textwrap.dedent('''\
            resolve auth.runeveil.example -> 192.0.2.11 192.0.2.12 192.0.2.13
            resolve patch.solmere.example -> 192.0.2.41
            resolve www.example.com -> unresolved
            get update.orvane.example /diagnova/download/version.txt -> 200 OK length=9 body=b'1.0.0.0\\r\\n'
            get update.orvane.example /diagnova/download/Diagnova.exe -> 200 OK length=22 body=b'MZ stand-in download\\r\\n'
            get checkip.orvane.example / -> 200 OK length=105 body=b'<html><head><title>Current IP Check</title></head><body>Current IP Address: 198.51.100.77</body></html>\\r\\n'
            connect 192.0.2.12:6112 -> accepted
            connect 203.0.113.13:7777 -> accepted
            connect 198.51.100.21:10241 -> accepted
            connect 192.0.2.31:2106 -> accepted
            env http_proxy -> (unset)
            env no_proxy -> (unset)
            '''))

    def test_nothing_outside_the_namespace_answers(self):
        # Outside a namespace this machine answers any address itself; in here
        # an address not planned for the scenario must be unreachable.
        out = probe("all_reachable", ["connect 93.184.216.34:80", "connect 192.0.2.99:80",
                                      "connect 192.0.2.80:6112"])
        self.assertEqual(out, textwrap.dedent('''\
            connect 93.184.216.34:80 -> error 101
            connect 192.0.2.99:80 -> error 101
            connect 192.0.2.80:6112 -> refused
            '''))

    def test_failure_scenarios(self):
        refusing = probe("some_refusing", ["connect 192.0.2.11:80", "connect 192.0.2.12:80",
                                           "connect 203.0.113.11:7777", "connect 198.51.100.20:2106"])
        self.assertEqual(refusing, textwrap.dedent('''\
            connect 192.0.2.11:80 -> accepted
            connect 192.0.2.12:80 -> refused
            connect 203.0.113.11:7777 -> refused
            connect 198.51.100.20:2106 -> accepted
            '''))
        silent = probe("one_silent", ["connect 192.0.2.32:80", "connect 192.0.2.32:80", "connect 192.0.2.33:80"])
        self.assertEqual(silent, textwrap.dedent('''\
            connect 192.0.2.32:80 -> silent
            connect 192.0.2.32:80 -> silent
            connect 192.0.2.33:80 -> accepted
            '''))
        down = probe("update_down", ["get update.orvane.example /diagnova/download/version.txt",
                                     "get checkip.orvane.example /"])
        self.assertIn("version.txt -> error ConnectionRefusedError", down)
        self.assertIn("checkip.orvane.example / -> 200 OK", down)

    def test_version_and_page_variants(self):
        long_file = probe("version_300", ["get update.orvane.example /diagnova/download/version.txt"])
        self.assertIn("-> 200 OK length=300 body=b'1.0.0.1\\r\\n   ", long_file)
        newer = probe("newer_version", ["get update.orvane.example /diagnova/download/version.txt"])
        self.assertIn("length=9 body=b'1.0.0.1\\r\\n'", newer)
        chosen = probe("all_reachable", ["get update.orvane.example /diagnova/download/version.txt"],
                       extra=["--version-file", "2.0\\r\\n"])
        self.assertIn("length=5 body=b'2.0\\r\\n'", chosen)
        page = probe("no_address_label", ["get checkip.orvane.example /"])
        self.assertIn("200 OK", page)
        self.assertNotIn("Current IP Address", page)


if __name__ == "__main__":
    unittest.main(verbosity=2)
