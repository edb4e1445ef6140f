#!/usr/bin/env python3
"""Builds the constant text table from catalog/text_catalog_source.txt.

usage: gen_text_catalog.py SOURCE DEPLOYMENT_HEADER OUTPUT_CPP

The translations are kept in one UTF-8 file that people can read and review;
the program needs each string as bytes of its language's ANSI code page. This
script encodes every string in that code page and writes them as escaped C
string literals, so the C++ compilers never see non-ASCII source text. Web
hosts are written as {DEPLOY_WEB_...} in the source and come out as the
macros of resources/deployment.h, joined to the rest by literal
concatenation.

Any mistake (unknown language, missing English text, duplicate line, a string
its code page cannot hold, an unknown macro) is reported with its line number
and stops the build.
"""

import re
import sys

TEXT_COUNT = 130

# Column order of the table, with each language's ANSI code page.
LANGUAGES = [
    ("en", "cp1252"),
    ("ko", "cp949"),
    ("fr", "cp1252"),
    ("de", "cp1252"),
    ("it", "cp1252"),
    ("es", "cp1252"),
    ("zh-TW", "cp950"),
    ("zh-CN", "cp936"),
    ("ja", "cp932"),
    ("pl", "cp1250"),
    ("ru", "cp1251"),
]
COLUMN_OF = {tag: column for column, (tag, _) in enumerate(LANGUAGES)}

LINE_PATTERN = re.compile(r'^(\d+)\s+([A-Za-z-]+)\s+"(.*)"\s*$')
MACRO_PATTERN = re.compile(r"\{([A-Z0-9_]+)\}")
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\"}


class SourceError(Exception):
    pass


def read_macros(header_path):
    macros = set()
    with open(header_path, encoding="utf-8") as header:
        for line in header:
            match = re.match(r"\s*#\s*define\s+(DEPLOY_[A-Z0-9_]+)\s", line)
            if match:
                macros.add(match.group(1))
    return macros


def unescape(body, line_number):
    out = []
    i = 0
    while i < len(body):
        ch = body[i]
        if ch == "\\":
            if i + 1 >= len(body) or body[i + 1] not in ESCAPES:
                raise SourceError(f"line {line_number}: unknown escape in {body!r}")
            out.append(ESCAPES[body[i + 1]])
            i += 2
            continue
        if ch == '"':
            raise SourceError(f'line {line_number}: a quote inside the text must be written \\"')
        if ord(ch) < 0x20 and ch != "\t":
            raise SourceError(f"line {line_number}: control character in the text")
        out.append(ch)
        i += 1
    return "".join(out)


def parse_source(source_path):
    """Returns {id: {tag: (text, line_number)}}."""
    rows = {}
    with open(source_path, encoding="utf-8") as source:
        for line_number, raw in enumerate(source, 1):
            line = raw.rstrip("\r\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            match = LINE_PATTERN.match(line)
            if not match:
                raise SourceError(f'line {line_number}: expected <id> <language> "<text>"')
            text_id = int(match.group(1))
            tag = match.group(2)
            if text_id >= TEXT_COUNT:
                raise SourceError(f"line {line_number}: text id {text_id} is beyond {TEXT_COUNT - 1}")
            if tag not in COLUMN_OF:
                raise SourceError(f"line {line_number}: unknown language {tag!r}")
            row = rows.setdefault(text_id, {})
            if tag in row:
                raise SourceError(f"line {line_number}: second {tag} text for id {text_id}")
            row[tag] = (unescape(match.group(3), line_number), line_number)
    for text_id in range(TEXT_COUNT):
        if "en" not in rows.get(text_id, {}):
            raise SourceError(f"text id {text_id} has no English text")
    return rows


def c_literal(data):
    """Escaped C string literal for bytes; splits after a hex escape that a
    hex digit follows, so the escape cannot swallow it."""
    out = ['"']
    after_hex = False
    previous = None
    for byte in data:
        ch = chr(byte)
        if after_hex and ch in "0123456789abcdefABCDEF":
            out.append('" "')
        after_hex = False
        if ch == "\\":
            out.append("\\\\")
        elif ch == '"':
            out.append('\\"')
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "?" and previous == "?":
            # Two question marks could start a trigraph in older compilers.
            out.append("\\?")
        elif 0x20 <= byte < 0x7F:
            out.append(ch)
        else:
            out.append(f"\\x{byte:02X}")
            after_hex = True
        previous = ch
    out.append('"')
    return "".join(out)


def c_expression(text, codec, macros, line_number, tag):
    """The C expression for one string: literals and deployment macros."""
    parts = []
    position = 0
    for match in MACRO_PATTERN.finditer(text):
        name = match.group(1)
        if name not in macros:
            raise SourceError(f"line {line_number}: {name} is not defined in deployment.h")
        parts.append(text[position:match.start()])
        parts.append((name,))
        position = match.end()
    parts.append(text[position:])
    pieces = []
    for part in parts:
        if isinstance(part, tuple):
            pieces.append(part[0])
            continue
        if "{" in part or "}" in part:
            raise SourceError(f"line {line_number}: brace outside a {{DEPLOY_...}} name")
        try:
            data = part.encode(codec)
        except UnicodeEncodeError as error:
            bad = part[error.start:error.end]
            raise SourceError(
                f"line {line_number}: {tag} text cannot be written in {codec}: {bad!r}") from None
        if b"\0" in data:
            raise SourceError(f"line {line_number}: NUL in the text")
        if data or len(parts) == 1:
            pieces.append(c_literal(data))
    return " ".join(pieces)


def generate(rows, macros):
    lines = [
        "// Generated by scripts/gen_text_catalog.py from catalog/text_catalog_source.txt.",
        "// Edit the source file, not this one.",
        '#include "catalog/text_table.h"',
        '#include "resources/deployment.h"',
        "",
        "namespace {",
    ]
    names = []
    for text_id in range(TEXT_COUNT):
        row = rows[text_id]
        english_name = f"kText{text_id}_en"
        columns = []
        for tag, codec in LANGUAGES:
            if tag not in row:
                columns.append(english_name)
                continue
            text, line_number = row[tag]
            name = f"kText{text_id}_{tag.replace('-', '_')}"
            expression = c_expression(text, codec, macros, line_number, tag)
            lines.append(f"const char {name}[] = {expression};")
            columns.append(name)
        names.append(columns)
    lines.append("}  // namespace")
    lines.append("")
    lines.append("const TextCatalogRow TextCatalog[kTextCount] = {")
    for text_id, columns in enumerate(names):
        lines.append(f"    {{{text_id}, {{{', '.join(columns)}}}}},")
    lines.append("};")
    return "\n".join(lines) + "\n"


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    source_path, header_path, output_path = argv[1:]
    try:
        output = generate(parse_source(source_path), read_macros(header_path))
    except SourceError as error:
        sys.stderr.write(f"{source_path}: {error}\n")
        return 1
    with open(output_path, "w", encoding="ascii", newline="\n") as out:
        out.write(output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
