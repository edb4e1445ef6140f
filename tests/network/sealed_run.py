#!/usr/bin/python3
"""Runs a command inside a sealed test network.

Diagnova talks HTTP to the publisher's update server at start-up and tries TCP
connections and route traces to game servers during a test run. No test may
send a packet beyond this machine, and outside a network namespace this
sandbox answers ICMP and TCP for arbitrary addresses by itself, so "unreachable"
cannot be tested out there either. This fixture therefore:

  * starts a network and mount namespace (unshare --net --mount) in which only
    the loopback interface exists, so nothing can leave;
  * puts every address of the scenario on lo (the deployment's literal
    addresses included) and bind-mounts its own hosts file over /etc/hosts, so
    the deployment's host names resolve (one of them to three addresses);
  * starts stand-in services: the update server (version file with a
    Content-Length header, download path answering 200), the external-address
    page, listeners on the game ports of hosts that should succeed, hosts that
    refuse and hosts that never answer;
  * gives Wine a private wineserver inside the namespace on a copy-on-write
    view of the prefix (Wine's sockets are created by the wineserver, so a
    server started outside would send the packets from outside);
  * optionally starts Xvfb inside, runs the command without proxy variables and
    tears everything down afterwards.

Use it as a command (as root):

    sealed_run.py --scenario all_reachable --xvfb -- wine build/Diagnova.exe

or as a module:

    import sealed_run
    rc = sealed_run.run(["wine", "tests/diagnova_tests.exe"], scenario="one_silent")

The address plan (HOST_ADDRESSES) is fixed so that tests can hold whole
expected report sections.
"""

import argparse
import http.server
import os
import re
import selectors
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
DEPLOYMENT_HEADER = os.path.join(SOURCE_DIR, "resources", "deployment.h")

# Addresses given to the deployment's host names, keyed by macro name. Every
# *_HOST macro that holds a name must appear here (checked at start-up), so a
# new server host cannot silently resolve to nothing.
HOST_ADDRESSES = {
    "DEPLOY_UPDATE_HOST": ["192.0.2.80"],
    "EXTERNAL_ADDRESS_HOST": ["192.0.2.81"],
    "DEPLOY_RV_AUTH_HOST": ["192.0.2.11", "192.0.2.12", "192.0.2.13"],
    "DEPLOY_RV_FILE_HOST": ["192.0.2.14"],
    "DEPLOY_RV_DIAG_HOST": ["192.0.2.15"],
    "DEPLOY_RV_PATCH_ROUTE_HOST": ["192.0.2.16"],
    "DEPLOY_RV2_AUTH1_HOST": ["192.0.2.21"],
    "DEPLOY_RV2_AUTH2_HOST": ["192.0.2.22"],
    "DEPLOY_RV2_FILE_HOST": ["192.0.2.23"],
    "DEPLOY_RV2_DIAG_HOST": ["192.0.2.24"],
    "DEPLOY_RV2_CDN_HOST": ["192.0.2.25"],
    "DEPLOY_RV2_PATCH_ROUTE_HOST": ["192.0.2.26"],
    "DEPLOY_K2_AUTH_HOST": ["192.0.2.31"],
    "DEPLOY_K2_NPROTECT_HOST": ["192.0.2.32"],
    "DEPLOY_K2_PATCH_HOST": ["192.0.2.33"],
    "DEPLOY_SOL_PATCH_HOST": ["192.0.2.41"],
}

# Ports the game servers are tested on (the server lists use only these).
GAME_PORTS = [80, 6112, 2106, 7777, 10241]

EXTERNAL_ADDRESS = "198.51.100.77"
OWN_VERSION_FILE = b"1.0.0.0\r\n"

PAGE_WITH_LABEL = (
    "<html><head><title>Current IP Check</title></head>"
    "<body>Current IP Address: " + EXTERNAL_ADDRESS + "</body></html>\r\n"
).encode()
PAGE_WITHOUT_LABEL = b"<html><head><title>Current IP Check</title></head><body>Service busy</body></html>\r\n"


class Scenario:
    """What the stand-in network does. Addresses not named in refuse/silent
    accept connections on every game port."""

    def __init__(self, name, description, version_file=OWN_VERSION_FILE, update_up=True,
                 address_page=PAGE_WITH_LABEL, address_page_up=True, refuse=(), silent=()):
        self.name = name
        self.description = description
        self.version_file = version_file
        self.update_up = update_up
        self.address_page = address_page
        self.address_page_up = address_page_up
        self.refuse = set(refuse)
        self.silent = set(silent)


SCENARIOS = {s.name: s for s in [
    Scenario("all_reachable", "every server accepts; the version file names the program's own version"),
    Scenario("some_refusing",
             "192.0.2.12 (second address of the Runeveil gate), 192.0.2.14, 192.0.2.22, 192.0.2.32, "
             "203.0.113.11 and 198.51.100.21 refuse connections",
             refuse=["192.0.2.12", "192.0.2.14", "192.0.2.22", "192.0.2.32", "203.0.113.11", "198.51.100.21"]),
    Scenario("one_silent", "192.0.2.32 (Kharros II nprotect) never answers; the rest accept",
             silent=["192.0.2.32"]),
    Scenario("update_down", "the update server refuses connections; the rest accept", update_up=False),
    Scenario("version_300", "the version file is 300 bytes long", version_file=b"1.0.0.1\r\n" + b" " * 291),
    Scenario("no_address_label", "the external-address page lacks the address label",
             address_page=PAGE_WITHOUT_LABEL),
    Scenario("newer_version", "the version file names 1.0.0.1", version_file=b"1.0.0.1\r\n"),
    Scenario("offline", "names resolve, but nothing answers anywhere (every address refuses)",
             update_up=False, address_page_up=False,
             refuse=[a for addrs in HOST_ADDRESSES.values() for a in addrs]),
]}


def deployment_hosts(header=DEPLOYMENT_HEADER):
    """Returns {macro: host text} for the server hosts of the deployment header,
    plus the external-address service's host."""
    text = open(header, encoding="utf-8").read()
    hosts = dict(re.findall(r'#define\s+(DEPLOY_\w+_HOST)\s+"([^"]*)"', text))
    url = re.search(r'#define\s+DEPLOY_EXTERNAL_ADDRESS_URL\s+"http://([^/":]+)', text)
    if url:
        hosts["EXTERNAL_ADDRESS_HOST"] = url.group(1)
    return hosts


def is_dotted(text):
    return re.fullmatch(r"\d+\.\d+\.\d+\.\d+", text) is not None


def address_plan(header=DEPLOYMENT_HEADER):
    """Returns (hosts file lines, every address to put on lo)."""
    hosts = deployment_hosts(header)
    lines, addresses = [], []
    for macro, host in hosts.items():
        if is_dotted(host):
            addresses.append(host)
            continue
        if macro not in HOST_ADDRESSES:
            raise SystemExit("sealed_run: no address planned for %s (%s)" % (macro, host))
        for address in HOST_ADDRESSES[macro]:
            lines.append("%s %s" % (address, host))
            addresses.append(address)
    return lines, sorted(set(addresses))


# ---- stand-in services --------------------------------------------------------

class Services:
    def __init__(self, scenario, addresses, request_log=None):
        self.scenario = scenario
        self.addresses = addresses
        self.request_log = request_log
        self.log_lock = threading.Lock()
        self.sockets = []
        self.http_servers = []
        self.selector = selectors.DefaultSelector()
        self.stopping = False
        self.stopped = threading.Event()

    def log_request(self, line):
        if not self.request_log:
            return
        with self.log_lock, open(self.request_log, "a") as f:
            f.write(line + "\n")

    def start(self):
        hosts = HOST_ADDRESSES
        http_addresses = set(hosts["DEPLOY_UPDATE_HOST"] + hosts["EXTERNAL_ADDRESS_HOST"])
        if self.scenario.update_up:
            self.start_http(hosts["DEPLOY_UPDATE_HOST"][0], self.update_response)
        if self.scenario.address_page_up:
            self.start_http(hosts["EXTERNAL_ADDRESS_HOST"][0], self.address_response)
        for address in self.addresses:
            if address in http_addresses or address in self.scenario.refuse:
                continue  # nothing listens: the connection is refused at once
            for port in GAME_PORTS:
                if address in self.scenario.silent:
                    self.start_silent(address, port)
                else:
                    self.start_acceptor(address, port)
        threading.Thread(target=self.accept_loop, daemon=True).start()

    def update_response(self, path):
        if path == "/diagnova/download/version.txt":
            return 200, self.scenario.version_file
        if path == "/diagnova/download/Diagnova.exe":
            return 200, b"MZ stand-in download\r\n"
        return 404, b"<html><body>Not Found</body></html>\r\n"

    def odd_answer(self, path, out):
        """Answers of the update server under /test/ for the HTTP client's
        edge cases: a body in pieces, a body shorter than announced, broken,
        annotated or missing Content-Length values, an error page, and a
        server that never answers the request or never sends the body."""
        def head(status, length):
            out.write(("HTTP/1.0 %s\r\nContent-Type: text/plain\r\nCache-Control: no-store\r\n" % status).encode())
            if length is not None:
                out.write(("Content-Length: %s\r\n" % length).encode())
            out.write(b"\r\n")
            out.flush()
        if path == "/test/split":
            head("200 OK", 3000)
            for piece in (b"a" * 1000, b"b" * 1000, b"c" * 1000):
                out.write(piece)
                out.flush()
                time.sleep(0.3)
        elif path == "/test/short":
            head("200 OK", 20)
            out.write(b"1.0.0")
        elif path == "/test/negative":
            head("200 OK", "-1")
            out.write(b"1.0")
        elif path == "/test/text":
            head("200 OK", "abc9")
            out.write(b"1.0.0.0\r\n")
        elif path == "/test/annotated":
            head("200 OK", "9 bytes")
            out.write(b"1.0.0.0\r\n")
        elif path == "/test/mute":
            self.stopped.wait(60)
            return
        elif path == "/test/stall":
            head("200 OK", 9)
            self.stopped.wait(60)
            return
        elif path == "/test/huge":
            head("200 OK", "99999999999999999999")
            out.write(b"1.0")
        elif path == "/test/none":
            head("200 OK", None)
            out.write(b"1.0.0.0\r\n")
        else:
            head("404 Not Found", 7)
            out.write(b"missing")
        out.flush()

    def address_response(self, path):
        return 200, self.scenario.address_page

    def start_http(self, address, respond):
        services = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def answer(self, with_body):
                status, body = respond(self.path)
                services.log_request("%s http://%s%s %s" % (
                    self.command, self.headers.get("Host", address), self.path,
                    self.headers.get("User-Agent", "")))
                self.send_response(status)
                self.send_header("Content-Type", "text/plain" if self.path.endswith(".txt") else "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                if with_body:
                    self.wfile.write(body)

            def do_GET(self):
                if self.path.startswith("/test/") and respond == services.update_response:
                    services.log_request("GET http://%s%s %s" % (
                        self.headers.get("Host", address), self.path, self.headers.get("User-Agent", "")))
                    services.odd_answer(self.path, self.wfile)
                    return
                self.answer(True)

            def do_HEAD(self):
                self.answer(False)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer((address, 80), Handler)
        server.daemon_threads = True
        self.http_servers.append(server)
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True).start()

    def listen(self, address, port, backlog):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((address, port))
        s.listen(backlog)
        self.sockets.append(s)
        return s

    def start_acceptor(self, address, port):
        s = self.listen(address, port, 128)
        s.setblocking(False)
        self.selector.register(s, selectors.EVENT_READ)

    def start_silent(self, address, port):
        # A listener whose accept queue is full and never drained: Linux then
        # drops further SYNs without an answer, so a client's connection
        # attempt simply hangs, like one to a host that never answers.
        s = self.listen(address, port, 0)
        for _ in range(2):
            filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            filler.setblocking(False)
            try:
                filler.connect((address, port))
            except BlockingIOError:
                pass
            self.sockets.append(filler)
        time.sleep(0.05)

    def accept_loop(self):
        while not self.stopping:
            for key, _ in self.selector.select(timeout=0.5):
                try:
                    conn, _ = key.fileobj.accept()
                    conn.close()
                except OSError:
                    pass

    def stop(self):
        self.stopping = True
        self.stopped.set()
        for server in self.http_servers:
            server.shutdown()
            server.server_close()
        for s in self.sockets:
            s.close()


# ---- inside the namespace -----------------------------------------------------

def sh(*args):
    subprocess.run(args, check=True, stdin=subprocess.DEVNULL)


def quiet_env():
    env = dict(os.environ)
    for name in ("http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY", "NO_PROXY",
                 "ftp_proxy", "all_proxy", "ALL_PROXY"):
        env.pop(name, None)
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


def program_bits():
    """32 for the shipped program, 64 where the tests run the 64-bit build
    (DIAGNOVA_PROGRAM_BITS, set by scripts/test and the run scripts)."""
    return 64 if os.environ.get("DIAGNOVA_PROGRAM_BITS") == "64" else 32


def wow_system_folder(prefix):
    """The 32-bit system folder: SysWOW64 in a 64-bit prefix."""
    wow = os.path.join(prefix, "drive_c", "windows", "syswow64")
    return wow if os.path.isdir(wow) else os.path.join(prefix, "drive_c", "windows", "system32")


def system32_view(prefix):
    """The folder the program under test sees as its system folder, where it
    starts the system's tools: the 32-bit one for the shipped program, the
    native one for the 64-bit build."""
    if program_bits() == 64:
        return os.path.join(prefix, "drive_c", "windows", "system32")
    return wow_system_folder(prefix)


def start_xvfb(env):
    """Starts an X server on a free display and sets DISPLAY. Two sessions
    starting together can pick the same display, and the loser exits: it is
    tried again, and a last failure says what the server said."""
    said = b""
    for _ in range(3):
        read_fd, write_fd = os.pipe()
        with tempfile.TemporaryFile() as errors:
            proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                                     "-nolisten", "tcp"], pass_fds=(write_fd,), stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=errors)
            os.close(write_fd)
            data = b""
            while not data.endswith(b"\n"):
                chunk = os.read(read_fd, 64)
                if not chunk:
                    break
                data += chunk
            os.close(read_fd)
            if data.strip():
                env["DISPLAY"] = ":" + data.decode().strip()
                return proc
            proc.kill()
            proc.wait()
            errors.seek(0)
            said = errors.read()
    raise SystemExit("sealed_run: Xvfb did not start: " + " | ".join(said.decode("latin-1").splitlines()[-3:]))


def inside(args):
    scenario = SCENARIOS[args.scenario]
    if args.version_file is not None:
        scenario.version_file = args.version_file.encode().decode("unicode_escape").encode("latin-1")
    scenario.refuse |= set(args.refuse)
    scenario.silent |= set(args.silent)

    lines, addresses = address_plan()
    batch = "link set lo up\n" + "".join("addr add %s/32 dev lo\n" % a for a in addresses)
    subprocess.run(["ip", "-batch", "-"], input=batch.encode(), check=True)

    work = tempfile.mkdtemp(prefix="sealed-")
    hosts = os.path.join(work, "hosts")
    with open(hosts, "w") as f:
        f.write("127.0.0.1 localhost\n::1 localhost\n" + "\n".join(lines) + "\n")
    resolv = os.path.join(work, "resolv.conf")
    with open(resolv, "w") as f:
        f.write("nameserver 127.0.0.1\n")  # nothing listens: names outside the hosts file fail at once
    sh("mount", "--bind", hosts, "/etc/hosts")
    sh("mount", "--bind", resolv, "/etc/resolv.conf")

    env = quiet_env()
    env["DIAGNOVA_SEALED_SCENARIO"] = scenario.name
    # Hide every wineserver started outside: its sockets would live outside.
    wine_tmp = "/tmp/.wine-%d" % os.getuid()
    os.makedirs(wine_tmp, mode=0o700, exist_ok=True)
    sh("mount", "-t", "tmpfs", "-o", "mode=0700", "tmpfs", wine_tmp)

    # The prefix is always seen through an overlay: its writes stay in this run,
    # and its device and inode differ from the real prefix's. Debian's Wine 8
    # keeps server sockets in /tmp/wine-XXXXXX/server-DEV-INODE (upstream:
    # /tmp/.wine-UID/...) and finds a running server by those two numbers, so
    # a server started outside for the same prefix is never reused in here.
    prefix = args.wine_prefix or env.get("WINEPREFIX") or os.path.expanduser("~/.wine")
    if prefix:
        prefix = os.path.abspath(prefix)
        env["WINEPREFIX"] = prefix
        if os.path.isdir(prefix):
            upper, lower_work = os.path.join(work, "upper"), os.path.join(work, "work")
            os.makedirs(upper)
            os.makedirs(lower_work)
            st = os.stat(prefix)
            os.chown(upper, st.st_uid, st.st_gid)
            os.chmod(upper, st.st_mode & 0o7777)
            sh("mount", "-t", "overlay", "overlay", "-o",
               "lowerdir=%s,upperdir=%s,workdir=%s" % (prefix, upper, lower_work), prefix)
        for item in args.install:
            shutil.copy(item, system32_view(prefix))

    services = Services(scenario, addresses, args.request_log)
    services.start()

    xvfb = start_xvfb(env) if args.xvfb else None
    wine_started = False
    if os.path.isdir(prefix) and not args.no_wineserver:
        subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wine_started = True

    rc = 1
    try:
        rc = subprocess.call(args.command, env=env)
    finally:
        if wine_started:
            subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if xvfb:
            xvfb.kill()
            xvfb.wait()
        services.stop()
        shutil.rmtree(work, ignore_errors=True)
    return rc


# ---- outside ------------------------------------------------------------------

def parse(argv):
    p = argparse.ArgumentParser(description="Run a command inside a sealed test network.")
    p.add_argument("--scenario", default="all_reachable", choices=sorted(SCENARIOS))
    p.add_argument("--xvfb", action="store_true", help="start an Xvfb display inside and set DISPLAY")
    p.add_argument("--wine-prefix", help="Wine prefix (default $WINEPREFIX); used copy-on-write")
    p.add_argument("--no-wineserver", action="store_true", help="do not start a wineserver before the command")
    p.add_argument("--install", action="append", default=[],
                   help="copy a file into the prefix's 32-bit system folder (repeatable)")
    p.add_argument("--version-file", help="version file contents (backslash escapes allowed)")
    p.add_argument("--refuse", action="append", default=[], help="an extra address that refuses")
    p.add_argument("--silent", action="append", default=[], help="an extra address that never answers")
    p.add_argument("--request-log", help="append one line per HTTP request to this file")
    p.add_argument("--list", action="store_true", help="list the scenarios and the address plan")
    p.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    p.add_argument("command", nargs="*")
    args = p.parse_args(argv)
    return p, args


def run(command, scenario="all_reachable", xvfb=False, wine_prefix=None, install=(), version_file=None,
        refuse=(), silent=(), request_log=None, **popen_args):
    """Runs command (a list) inside a sealed network; returns its exit code."""
    argv = ["--scenario", scenario]
    if xvfb:
        argv.append("--xvfb")
    if wine_prefix:
        argv += ["--wine-prefix", wine_prefix]
    for item in install:
        argv += ["--install", item]
    if version_file is not None:
        argv += ["--version-file", version_file]
    for a in refuse:
        argv += ["--refuse", a]
    for a in silent:
        argv += ["--silent", a]
    if request_log:
        argv += ["--request-log", request_log]
    return subprocess.call(outer_command(argv + ["--"] + list(command)), **popen_args)


def outer_command(argv):
    return ["unshare", "--net", "--mount", "--propagation", "private", "--",
            sys.executable, os.path.abspath(__file__), "--inside"] + argv


def main(argv):
    p, args = parse(argv)
    if args.list:
        lines, _ = address_plan()
        for s in SCENARIOS.values():
            print("%-18s %s" % (s.name, s.description))
        print()
        print("\n".join(lines))
        return 0
    if not args.command:
        p.error("no command given")
    if args.inside:
        return inside(args)
    if os.geteuid() != 0:
        raise SystemExit("sealed_run: must run as root (network namespace, mounts)")
    signal.signal(signal.SIGINT, signal.SIG_IGN)  # the child handles Ctrl+C and tears down
    return subprocess.call(outer_command(argv))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
