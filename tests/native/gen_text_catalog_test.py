#!/usr/bin/env python3
"""Tests of scripts/gen_text_catalog.py: the table it writes compiles and holds
exactly the intended bytes, and every kind of mistake in the source stops it.

usage: gen_text_catalog_test.py SOURCE_DIR
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from gen_text_catalog import TEXT_COUNT  # noqa: E402

SOURCE_DIR = None
LANGS = ["en", "ko", "fr", "de", "it", "es", "zh-TW", "zh-CN", "ja", "pl", "ru"]
CODECS = ["cp1252", "cp949", "cp1252", "cp1252", "cp1252", "cp1252", "cp950", "cp936", "cp932", "cp1250", "cp1251"]

DEPLOYMENT = '#define DEPLOY_WEB_TEST_HOST "host.test.example"\n#define DEPLOY_WEB_OTHER "o.example" // note\n'

DUMP_MAIN = r"""
#include <cstdio>
#include "catalog/text_table.h"
int main() {
    for (int id = 0; id < kTextCount; ++id) {
        std::printf("%d", TextCatalog[id].id);
        for (int c = 0; c < kLanguageColumns; ++c) {
            std::printf(" %s", TextCatalog[id].text[c] == TextCatalog[id].text[0] && c ? "=" : "");
            for (const unsigned char* p = (const unsigned char*)TextCatalog[id].text[c]; *p; ++p)
                std::printf("%02x", *p);
            std::printf("|");
        }
        std::printf("\n");
    }
}
"""


def source_text(extra_lines, skip_english=()):
    lines = [f'{i} en "Text {i}"' for i in range(TEXT_COUNT) if i not in skip_english]
    return "# test source\n" + "\n".join(lines + list(extra_lines)) + "\n"


class Generator(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.addCleanup(self.work.cleanup)
        self.header = os.path.join(self.work.name, "deployment.h")
        with open(self.header, "w") as out:
            out.write(DEPLOYMENT)

    def run_generator(self, text):
        source = os.path.join(self.work.name, "source.txt")
        output = os.path.join(self.work.name, "table.cpp")
        with open(source, "w", encoding="utf-8") as out:
            out.write(text)
        done = subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "scripts", "gen_text_catalog.py"),
                               source, self.header, output], capture_output=True, text=True)
        return done, output

    def assert_rejected(self, text, message):
        done, output = self.run_generator(text)
        self.assertEqual(1, done.returncode, done.stderr)
        self.assertIn(message, done.stderr)

    def test_table_compiles_to_the_intended_bytes(self):
        # Escapes that could go wrong: a hex escape followed by a hex digit,
        # quotes, backslashes, two question marks, line feeds and tabs.
        texts = {
            (5, "fr"): 'Français "déjà" \\ a??b\n\tfin',
            (5, "ja"): "ルーンヴェイル…",
            (5, "ko"): "게임을 선택하세요:",
            (5, "ru"): "Выберите игру…",
            (5, "pl"): "Zażółć gęślą jaźń",
            (5, "zh-TW"): "此測試最多可能需要 20 分鐘！請稍候…",
            (5, "zh-CN"): "此测试最多可能需要 20 分钟！请稍候…",
            (7, "de"): "",
        }
        escaped = {k: v.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n").replace("\t", "\\t")
                   for k, v in texts.items()}
        lines = [f'{i} {lang} "{text}"' for (i, lang), text in escaped.items()]
        lines.append('9 de "https://{DEPLOY_WEB_TEST_HOST}/a/{DEPLOY_WEB_OTHER}"')
        done, output = self.run_generator(source_text(lines))
        self.assertEqual(0, done.returncode, done.stderr)
        with open(output, encoding="ascii") as table:
            self.assertIn('"https://" DEPLOY_WEB_TEST_HOST "/a/" DEPLOY_WEB_OTHER', table.read())

        main = os.path.join(self.work.name, "dump.cpp")
        with open(main, "w") as out:
            out.write(DUMP_MAIN)
        include = os.path.join(self.work.name, "include")
        os.makedirs(os.path.join(include, "resources"))
        os.symlink(self.header, os.path.join(include, "resources", "deployment.h"))
        exe = os.path.join(self.work.name, "dump")
        # The test's own deployment header comes before the project's.
        built = subprocess.run(["g++", "-std=c++17", "-Wall", "-Wextra", "-Werror", "-I", include,
                                "-I", SOURCE_DIR, main, output, "-o", exe], capture_output=True, text=True)
        if built.returncode != 0:
            self.fail(built.stderr)
        rows = subprocess.run([exe], capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertEqual(TEXT_COUNT, len(rows))
        for text_id, row in enumerate(rows):
            fields = row.split(" ", 1)
            self.assertEqual(str(text_id), fields[0])
            cells = fields[1].rstrip("|").split("| ")
            self.assertEqual(11, len(cells))
            for column, (lang, codec) in enumerate(zip(LANGS, CODECS)):
                if (text_id, lang) in texts:
                    want = texts[(text_id, lang)].encode(codec).hex()
                elif text_id == 9 and lang == "de":
                    want = b"https://host.test.example/a/o.example".hex()
                elif lang == "en":
                    want = f"Text {text_id}".encode().hex()
                else:
                    want = "=" + f"Text {text_id}".encode().hex()  # the English string itself
                self.assertEqual(want, cells[column], f"id {text_id} {lang}")

    def test_text_that_its_code_page_cannot_hold_stops_the_build(self):
        self.assert_rejected(source_text(['3 fr "Sélection 한"']), "line %d: fr text cannot be written in cp1252" % (TEXT_COUNT + 2))
        self.assert_rejected(source_text(['3 ru "Złoty"']), "cp1251")
        self.assert_rejected(source_text(['3 ja "©"']), "cp932")

    def test_source_mistakes_stop_the_build(self):
        self.assert_rejected(source_text([], skip_english=(42,)), "text id 42 has no English text")
        self.assert_rejected(source_text(['3 xx "a"']), "unknown language 'xx'")
        self.assert_rejected(source_text(['3 fr "a"', '3 fr "b"']), "second fr text for id 3")
        self.assert_rejected(source_text(['%d fr "a"' % TEXT_COUNT]),
                             "text id %d is beyond %d" % (TEXT_COUNT, TEXT_COUNT - 1))
        self.assert_rejected(source_text(['3 fr "a\\q"']), "unknown escape")
        self.assert_rejected(source_text(['3 fr "a"b"']), "quote inside the text")
        self.assert_rejected(source_text(['3 fr a']), "expected <id> <language>")
        self.assert_rejected(source_text(['3 fr "http://{DEPLOY_WEB_MISSING}/"']),
                             "DEPLOY_WEB_MISSING is not defined")
        self.assert_rejected(source_text(['3 fr "a {b} c"']), "brace outside")


if __name__ == "__main__":
    SOURCE_DIR = sys.argv.pop(1)
    unittest.main(verbosity=2)
