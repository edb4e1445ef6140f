#!/usr/bin/env python3
"""Checks the window-text language choice under several system locales.

For each locale the locale prefix's wineserver is started with LANG set (see
wine_locale.py), text_catalog_probe.exe writes what GetCodePageClass,
GetCurrentLanguage and GetText decide to a file, and the server is stopped.
"""

import argparse
import os
import sys
import tempfile

import wine_locale


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
    # Italian chosen from the menu on the same system.
    ("fr_FR.UTF-8", 5, {
        "class": "2", "language": "5", "column": "4",
        "text11": text_hex("Seleziona un gioco:", "cp1252"),
        "text69": text_hex("Lingua(&Language)", "cp1252"),
    }),
    ("pl_PL.UTF-8", None, {
        "acp": "1250", "class": "6", "language": "10", "column": "9",
        "text11": text_hex("Wybierz grę:", "cp1250"),
        "text69": text_hex("Język(&Language)", "cp1250"),
        "enabled3": "0", "enabled10": "1",
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


def check_case(env, probe, work, index, lang, language, expected):
    out_path = os.path.join(work, f"probe{index}.txt")
    command = ["wine", probe, out_path]
    if language is not None:
        command.append(str(language))
    code = wine_locale.run_quiet(command, env)
    label = f"{lang} language={language}"
    if code != 0 or not os.path.exists(out_path):
        print(f"FAIL {label}: probe exited with {code}")
        return False
    with open(out_path, encoding="ascii") as result:
        got = dict(line.strip().split("=", 1) for line in result if "=" in line)
    wrong = {key: (value, got.get(key)) for key, value in expected.items() if got.get(key) != value}
    if wrong:
        print(f"FAIL {label}:")
        for key, (want, have) in wrong.items():
            print(f"  {key}: expected {want}, got {have}")
        return False
    print(f"ok   {label}")
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--wine-lib", required=True)
    parser.add_argument("--locale-cache", required=True)
    args = parser.parse_args()

    langs = sorted({lang for lang, _, _ in CASES})
    try:
        base_env = wine_locale.prepare(args.prefix, args.wine_lib, args.locale_cache, langs)
    except RuntimeError as error:
        print(error)
        return 1

    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for lang in langs:
            with wine_locale.LocaleServer(base_env, lang) as env:
                for index, (case_lang, language, expected) in enumerate(CASES):
                    if case_lang == lang:
                        failures += not check_case(env, args.probe, work, index, lang, language, expected)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
