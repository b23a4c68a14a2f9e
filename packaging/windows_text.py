"""Turns a UTF-8 text file into a Windows text file that Notepad on Windows
NT 4.0 shows correctly: CR LF line ends, Windows-1252 characters.

With --markdown the source is the Markdown of a guide, made plain and at
most 78 columns wide: Notepad does not wrap lines by default, and maximised
on a 640x480 screen it shows about 78.

- picture lines are left out, headings are underlined, links keep their
  text and code spans lose their marks; a program's message is quoted in
  the source ("`...`", or « `...` » in French), so its quotation marks
  stay;
- paragraphs and list items are wrapped again at blanks, list items
  under their text, never inside a code span: a command, a key or a
  message stays on one line;
- fenced blocks are indented; a block opened with ```message holds the
  text of a message box and is wrapped like prose, any other block holds
  a command or a file to type as it stands and must fit;
- tables get aligned columns, or, when that would be too wide, become one
  block of lines per row: its first cell, then one line per other cell,
  after the column's heading.

A character that Windows-1252 cannot hold, or a line that cannot be made
to fit (a command, or a code span too long for a line), stops the
conversion with its line, and no target is written.
"""

import argparse
import re
import sys

WIDTH = 78
PICTURE_LINE = re.compile(r"^\s*!\[[^\]]*\]\([^)]*\)\s*$")
PICTURE = re.compile(r"!\[([^\]]*)\]\([^)]*\)")
LINK = re.compile(r"\[([^\]]+)\]\([^)]*\)")
HEADING = re.compile(r"^(#{1,3})\s+(.*?)\s*#*\s*$")
TABLE_RULE = re.compile(r"^\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)*\|?$")
LIST_ITEM = re.compile(r"^(\s*)([-*]|\d+\.)\s+")
FENCE = re.compile(r"^(\s*)```\s*(\w*)\s*$")
UNDERLINES = {1: "=", 2: "-", 3: "~"}
# Words that stay on the line of the word before them (French spacing puts
# a blank before these; "" is the end of the line, so trailing blanks are
# no place to break), and the one that stays with the word after it.
GLUED_BEFORE = {":", ";", "?", "!", "\u00bb", ""}
GLUED_AFTER = {"\u00ab"}
# Stands for a blank inside a code span while lines are wrapped.
KEPT_BLANK = "\x1f"
CODE_SPAN = re.compile(r"`([^`]*)`")


class TooWide(Exception):
    pass


def inline(text):
    """Plain form of a line's inline Markdown."""
    text = PICTURE.sub(r"\1", text)
    text = LINK.sub(r"\1", text)
    return CODE_SPAN.sub(lambda span: span.group(1).replace(" ", KEPT_BLANK), text)


def wrapped(line, hanging=None):
    """The line cut at blanks into lines of at most WIDTH columns; the
    following lines start at column `hanging` (by default under the first
    one's text). Blanks inside a line are kept as they are; a word or a
    code span too long for a line stops the conversion."""
    indent = len(line) - len(line.lstrip(" "))
    if hanging is None:
        hanging = indent
    lines = []
    while len(line) > WIDTH:
        breaks = [i for i, char in enumerate(line)
                  if char == " " and i > indent and line[i - 1] != " "
                  and line[i - 1] not in GLUED_AFTER
                  and line[i + 1:].lstrip(" ")[:1] not in GLUED_BEFORE]
        fitting = [i for i in breaks if i <= WIDTH]
        if not fitting:
            first = line[:breaks[0]] if breaks else line
            raise TooWide(f"{len(first)} columns that cannot be cut: "
                          f"{first.strip().replace(KEPT_BLANK, ' ')}")
        lines.append(line[:fitting[-1]])
        line = " " * hanging + line[fitting[-1]:].lstrip(" ")
        indent = hanging
    lines.append(line)
    return lines


def table_cells(line):
    return [inline(cell.strip()) for cell in line.strip().strip("|").split("|")]


def aligned_table(rows):
    """Rows of cells (the first being the header) as text lines: aligned
    columns when they fit, otherwise one block per row."""
    widths = [max(len(row[i]) if i < len(row) else 0 for row in rows)
              for i in range(max(len(row) for row in rows))]
    if sum(widths) + 3 * (len(widths) - 1) <= WIDTH:
        def line(cells):
            padded = [cells[i].ljust(widths[i]) if i < len(cells) else " " * widths[i]
                      for i in range(len(widths))]
            return " | ".join(padded).rstrip()

        rule = "-+-".join("-" * width for width in widths)
        return [line(rows[0]), rule] + [line(row) for row in rows[1:]]

    header, lines = rows[0], []
    column = 4 + max(len(title) for title in header[1:]) + 2
    for row in rows[1:]:
        if lines:
            lines.append("")
        lines.extend(wrapped(row[0]))
        for title, cell in zip(header[1:], row[1:]):
            lines.extend(wrapped(("    " + title).ljust(column) + cell, column))
    return lines


def plain_markdown(lines):
    out = []
    table = []
    # The source lines of a paragraph or list item (made plain once joined,
    # since a code span may run over a line's end), from line `start`.
    paragraph = []
    start = 0
    fence = None  # (indent, kind) inside a fenced block

    def flush_paragraph():
        if paragraph:
            item = LIST_ITEM.match(paragraph[0])
            joined = " ".join([paragraph[0]] + [line.strip() for line in paragraph[1:]])
            try:
                out.extend(wrapped(inline(joined), item.end() if item else None))
            except TooWide as error:
                raise TooWide(f"{start}: {error}")
            paragraph.clear()

    def flush():
        flush_paragraph()
        if table:
            try:
                out.extend(aligned_table([row for row in table if row is not None]))
            except TooWide as error:
                raise TooWide(f"{start}: {error}")
            table.clear()

    for number, line in enumerate(lines, 1):
        opening = FENCE.match(line)
        if opening:
            flush()
            fence = None if fence else (len(opening.group(1)), opening.group(2))
            continue
        if fence:
            indent, kind = fence
            text = " " * (indent + 4) + line[indent:].rstrip() if line.strip() else ""
            if kind == "message":
                try:
                    out.extend(wrapped(text, indent + 6))
                except TooWide as error:
                    raise TooWide(f"{number}: {error}")
            elif len(text) > WIDTH:
                raise TooWide(f"{number}: {len(text)} columns in a block to type as it stands")
            else:
                out.append(text)
            continue
        if line.startswith("|"):
            flush_paragraph()
            if not table:
                start = number
            table.append(None if TABLE_RULE.match(line.strip()) else table_cells(line))
            continue
        text = line.rstrip()
        if (paragraph and text and not LIST_ITEM.match(text) and not HEADING.match(line)
                and not PICTURE_LINE.match(line)):
            paragraph.append(text)
            continue
        flush()
        if PICTURE_LINE.match(line):
            continue
        heading = HEADING.match(line)
        if heading:
            title = inline(heading.group(2))
            out.extend([title, UNDERLINES[len(heading.group(1))] * len(title)])
        elif text:
            start = number
            paragraph.append(text)
        else:
            out.append("")
    flush()

    # Leaving out pictures can leave blank lines in pairs: keep one.
    text = []
    for line in out:
        line = line.replace(KEPT_BLANK, " ")
        if len(line) > WIDTH:
            raise TooWide(f" a line of {len(line)} columns: {line.strip()}")
        if line or (text and text[-1]):
            text.append(line)
    while text and not text[-1]:
        text.pop()
    return text


def check_windows_1252(lines, source):
    """Exits naming the first character that has no Windows-1252 form."""
    for number, line in enumerate(lines, 1):
        for column, char in enumerate(line, 1):
            try:
                char.encode("cp1252")
            except UnicodeEncodeError:
                sys.exit(f"{source}:{number}:{column}: U+{ord(char):04X} {char!r} "
                         "has no Windows-1252 form")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--markdown", action="store_true",
                        help="the source is a guide's Markdown: make it plain text")
    parser.add_argument("source", help="UTF-8 text file")
    parser.add_argument("target", help="Windows text file to write")
    args = parser.parse_args()

    with open(args.source, encoding="utf-8") as f:
        lines = f.read().splitlines()
    check_windows_1252(lines, args.source)
    if args.markdown:
        try:
            lines = plain_markdown(lines)
        except TooWide as error:
            sys.exit(f"{args.source}:{error}")
    data = "".join(line + "\r\n" for line in lines).encode("cp1252")
    with open(args.target, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
