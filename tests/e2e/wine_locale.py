"""Runs Wine programs under another system locale, in the locale prefix.

Wine takes the system default language and the ANSI code page from LANG when
its wineserver starts, and keeps them for the server's life, so each locale
needs a freshly started server. Wine asks the C library for the locale named
by LANG; that fails (leaving Wine in English with code page 1252) unless the
locale is compiled, and Debian compiles only C.UTF-8. The locales are
therefore compiled once with localedef into a cache folder and found through
LOCPATH; the system's locale files are left alone.

Tests that use this take the ctest RESOURCE_LOCK "locale_prefix".

    env = prepare(prefix, wine_lib, cache, ["fr_FR.UTF-8"])
    with LocaleServer(env, "fr_FR.UTF-8") as fr_env:
        run_quiet(["wine", program, out_file], fr_env)
"""

import fcntl
import os
import subprocess


def run_quiet(command, env, timeout=300):
    """Runs a command with all standard streams away from pipes: Wine's helper
    processes would inherit them and hold a reader for ever."""
    return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout).returncode


def compile_locales(cache, names):
    """Compiles each LANG value (e.g. "fr_FR.UTF-8") into cache, once.
    Returns an error text, or None."""
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(cache, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for name in names:
            target = os.path.join(cache, name)
            if os.path.exists(os.path.join(target, "LC_CTYPE")):
                continue
            source, charset = name.split(".")
            done = subprocess.run(["localedef", "-i", source, "-f", charset, target],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, timeout=300)
            # localedef warns (exit code 1) about some locales yet writes them.
            if not os.path.exists(os.path.join(target, "LC_CTYPE")):
                return f"localedef could not compile {name}: {done.stderr.decode(errors='replace')}"
    return None


def prepare(prefix, wine_lib, cache, names):
    """Makes the prefix (64-bit Windows 7) if needed and compiles the locales.
    Returns the base environment for LocaleServer; raises RuntimeError."""
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["LOCPATH"] = cache
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    for name in ("LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE"):
        env.pop(name, None)
    made = subprocess.run(["bash", "-c", '. "$1"; wine_prefix_ensure "$2" win64 win7', "-", wine_lib, prefix],
                          env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=600)
    if made.returncode != 0:
        raise RuntimeError(f"could not make the prefix {prefix}")
    error = compile_locales(cache, names)
    if error:
        raise RuntimeError(error)
    return env


class LocaleServer:
    """A wineserver of the prefix started with LANG set, stopped on exit."""

    def __init__(self, base_env, lang):
        self.env = dict(base_env, LANG=lang)

    def __enter__(self):
        run_quiet(["wineserver", "-k"], self.env)
        run_quiet(["wineserver", "-w"], self.env)
        run_quiet(["wineserver", "-p"], self.env)
        run_quiet(["wine", "cmd", "/c", "exit"], self.env)
        return self.env

    def __exit__(self, *exc):
        run_quiet(["wineserver", "-k"], self.env)
        run_quiet(["wineserver", "-w"], self.env)
        return False
