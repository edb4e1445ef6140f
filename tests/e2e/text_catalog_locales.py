#!/usr/bin/env python3
"""Checks the window-text language choice under several system locales.

For each locale the locale prefix's wineserver is started with LANG set (see
wine_locale.py), text_catalog_probe.exe writes what GetCodePageClass,
GetCurrentLanguage and GetText decide to a file, and the server is stopped.

With --fit-probe it also checks that no window text is cut off: in each
locale, text_fit_probe.exe measures every text of a fixed-size control in the
languages shown on that code page (only the rows whose column holds its own
text), with the dialogs' own fonts as Wine lays them out. A text must fit
with FILL_LIMIT percent of its control's width, leaving room for the wider
fonts of Windows (Tahoma here against MS UI Gothic, Gulim, SimSun or MingLiU
there). Each text that does not fit is named; the tightest ones are listed.
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


# The languages each locale's code page shows in their own column.
FIT_LANGUAGES = {
    "fr_FR.UTF-8": [1, 3, 4, 5, 6],
    "ko_KR.UTF-8": [2],
    "zh_HK.UTF-8": [7],
    "zh_CN.UTF-8": [8],
    "ja_JP.UTF-8": [9],
    "pl_PL.UTF-8": [10],
    "ru_RU.UTF-8": [11],
}
LANGUAGE_CODES = {1: "en", 2: "ko", 3: "fr", 4: "de", 5: "it", 6: "es", 7: "zh-TW", 8: "zh-CN", 9: "ja",
                  10: "pl", 11: "ru"}
# A text may take at most this share of its control's width (about 10% spare).
FILL_LIMIT = 90
# Texts that are not ours to shorten only have to fit without the spare room:
# the French result buttons, which support's instructions quote word for
# word, and the support address that the result link shows, which comes from
# the publisher's deployment data.
FIXED_WORDING = {(3, 54), (3, 55), (3, 56)}
ADDRESS_TEXTS = {62}
NEAR_LIMIT_SHOWN = 12


def measure_fit(env, probe, work, lang, languages):
    """The fit probe's lines for one locale: (language, text id, place, fill,
    lines needed at full width, lines of room), or an error text."""
    out_path = os.path.join(work, f"fit-{lang}.txt")
    code = wine_locale.run_quiet(["wine", probe, out_path] + [str(n) for n in languages], env)
    if code != 0 or not os.path.exists(out_path):
        return [], f"{lang}: text_fit_probe exited with {code}"
    rows, errors = [], []
    with open(out_path, encoding="utf-8", errors="replace") as result:
        for line in result:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "error":
                errors.append(f"{lang}: {fields[1]}")
            elif len(fields) == 6:
                language, text_id, place, fill, needed, room = fields
                rows.append((int(language), int(text_id), place, int(fill), int(needed), int(room)))
    measured = {row[0] for row in rows}
    errors += [f"{lang}: nothing measured for language {n}" for n in languages if n not in measured]
    return rows, "; ".join(errors) or None


def report_fit(rows):
    """Prints every text that does not fit and the ones nearest the limit;
    returns the number that do not fit."""
    def name(row):
        language, text_id, place, fill, needed, room = row
        what = f"text {text_id}" if text_id >= 0 else "fixed text"
        lines = f"{room} line" + ("s" if room > 1 else "")
        return (f"{LANGUAGE_CODES[language]} {what} in {place}: {fill}% of the width in {lines}"
                + (f" (wraps to {needed} at full width)" if needed > room else ""))
    def limit(row):
        return 100 if (row[0], row[1]) in FIXED_WORDING or row[1] in ADDRESS_TEXTS else FILL_LIMIT
    too_wide = [row for row in rows if row[3] > limit(row)]
    for row in too_wide:
        print(f"FAIL does not fit: {name(row)}")
    print(f"fit: {len(rows)} texts measured, {len(too_wide)} over {FILL_LIMIT}% of their width; nearest the limit:")
    for row in sorted(rows, key=lambda r: r[3] - limit(r), reverse=True)[:NEAR_LIMIT_SHOWN]:
        print(f"  {name(row)}" + (" (not ours to shorten: limit 100%)" if limit(row) == 100 else ""))
    return len(too_wide)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--fit-probe")
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--wine-lib", required=True)
    parser.add_argument("--locale-cache", required=True)
    args = parser.parse_args()

    langs = sorted({lang for lang, _, _ in CASES} | (set(FIT_LANGUAGES) if args.fit_probe else set()))
    try:
        base_env = wine_locale.prepare(args.prefix, args.wine_lib, args.locale_cache, langs)
    except RuntimeError as error:
        print(error)
        return 1

    failures = 0
    fit_rows = []
    with tempfile.TemporaryDirectory() as work:
        for lang in langs:
            with wine_locale.LocaleServer(base_env, lang) as env:
                for index, (case_lang, language, expected) in enumerate(CASES):
                    if case_lang == lang:
                        failures += not check_case(env, args.probe, work, index, lang, language, expected)
                if args.fit_probe and lang in FIT_LANGUAGES:
                    rows, error = measure_fit(env, args.fit_probe, work, lang, FIT_LANGUAGES[lang])
                    fit_rows += rows
                    if error:
                        print(f"FAIL fit probe: {error}")
                        failures += 1
    if args.fit_probe:
        failures += report_fit(fit_rows)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
