#!/usr/bin/env python3
"""Checks the window-text language choice under several system locales.

Wine takes the system default language and the ANSI code page from LANG and
keeps them for the life of a wineserver, so for each locale this script starts
the locale prefix's server with LANG set, runs text_catalog_probe.exe (which
writes what GetCodePageClass, GetCurrentLanguage and GetText decide to a file)
and stops the server again. The prefix is made on first use.

Wine asks the C library for the locale named by LANG, which fails (and leaves
Wine in English, code page 1252) unless that locale is compiled. Debian ships
only C.UTF-8 compiled, so the locales this test needs are compiled once with
localedef into a cache folder and found through LOCPATH; the system's locale
files are left alone.
"""

import argparse
import fcntl
import os
import subprocess
import sys
import tempfile


def text_hex(text, codec):
    return text.encode(codec).hex().upper()


# (LANG, language passed to SetCurrentLanguage or None, expected values).
CASES = [
    ("fr_FR.UTF-8", None, {
        "acp": "1252", "class": "2", "language": "3", "column": "2",
        "text11": text_hex("Sélectionnez un jeu :", "cp1252"),
        "text47": text_hex("Ce test peut durer jusqu'à 20 minutes ! Veuillez patienter…", "cp1252"),
        "text69": text_hex("Langue(&Language)", "cp1252"),
        "enabled2": "0", "enabled4": "1", "enabled6": "1", "enabled11": "0",
    }),
    # On a Western system the Korean choice shows English.
    ("fr_FR.UTF-8", 2, {
        "class": "2", "language": "2", "column": "0",
        "text11": text_hex("Select a game:", "cp1252"),
    }),
    ("ko_KR.UTF-8", None, {
        "acp": "949", "class": "1", "language": "2", "column": "1",
        "text11": text_hex("게임을 선택하세요:", "cp949"),
        "enabled1": "1", "enabled2": "1", "enabled3": "0", "enabled9": "0",
    }),
    # On a Korean system any language but Korean shows English.
    ("ko_KR.UTF-8", 4, {
        "class": "1", "language": "4", "column": "0",
        "text69": text_hex("&Language", "cp1252"),
    }),
    ("ru_RU.UTF-8", None, {
        "acp": "1251", "class": "7", "language": "11", "column": "10",
        "text11": text_hex("Выберите игру:", "cp1251"),
        "enabled10": "0", "enabled11": "1",
    }),
    ("ja_JP.UTF-8", None, {
        "acp": "932", "class": "5", "language": "9", "column": "8",
        "text1": text_hex("ルーンヴェイル", "cp932"),
        "text11": text_hex("ゲームを選択してください:", "cp932"),
    }),
    # Hong Kong is a Chinese sublanguage without its own column: English.
    ("zh_HK.UTF-8", None, {
        "acp": "950", "class": "3", "language": "1", "column": "0",
        "text11": text_hex("Select a game:", "cp1252"),
        "enabled7": "1", "enabled8": "0", "enabled3": "0",
    }),
    # Chosen explicitly, Chinese Traditional shows its own menu texts there.
    ("zh_HK.UTF-8", 7, {
        "class": "3", "language": "7", "column": "6",
        "text69": text_hex("Language(&Language)", "cp950"),
        "text11": text_hex("Select a game:", "cp1252"),
    }),
]


def compile_locales(cache, names):
    """Compiles each LANG value (e.g. "fr_FR.UTF-8") into cache, once."""
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
                print(f"localedef could not compile {name}: {done.stderr.decode(errors='replace')}")
                return False
    return True


def run_quiet(command, env):
    return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=300).returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--wine-lib", required=True)
    parser.add_argument("--locale-cache", required=True)
    args = parser.parse_args()

    if not compile_locales(args.locale_cache, sorted({lang for lang, _, _ in CASES})):
        return 1

    base_env = dict(os.environ)
    base_env["WINEPREFIX"] = args.prefix
    base_env["LOCPATH"] = args.locale_cache
    base_env.setdefault("WINEDEBUG", "-all")
    base_env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    for name in ("LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE"):
        base_env.pop(name, None)

    made = subprocess.run(
        ["bash", "-c", '. "$1"; wine_prefix_ensure "$2" win64 win7', "-", args.wine_lib, args.prefix],
        env=base_env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        timeout=300)
    if made.returncode != 0:
        print(f"could not make the prefix {args.prefix}")
        return 1

    failures = 0
    with tempfile.TemporaryDirectory() as work:
        current_lang = None
        for index, (lang, language, expected) in enumerate(CASES):
            env = dict(base_env, LANG=lang)
            if lang != current_lang:
                run_quiet(["wineserver", "-k"], env)
                run_quiet(["wineserver", "-w"], env)
                run_quiet(["wineserver", "-p"], env)
                run_quiet(["wine", "cmd", "/c", "exit"], env)
                current_lang = lang
            out_path = os.path.join(work, f"probe{index}.txt")
            command = ["wine", args.probe, out_path]
            if language is not None:
                command.append(str(language))
            code = run_quiet(command, env)
            label = f"{lang} language={language}"
            if code != 0 or not os.path.exists(out_path):
                print(f"FAIL {label}: probe exited with {code}")
                failures += 1
                continue
            with open(out_path, encoding="ascii") as result:
                got = dict(line.strip().split("=", 1) for line in result if "=" in line)
            wrong = {key: (value, got.get(key)) for key, value in expected.items() if got.get(key) != value}
            if wrong:
                failures += 1
                print(f"FAIL {label}:")
                for key, (want, have) in wrong.items():
                    print(f"  {key}: expected {want}, got {have}")
            else:
                print(f"ok   {label}")
        run_quiet(["wineserver", "-k"], dict(base_env, LANG=current_lang or "C"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
