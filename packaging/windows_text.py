"""Turns a UTF-8 text file into a Windows text file that Notepad on
Windows NT 4.0 shows correctly: CR LF line ends, Windows-1252 characters.

With --markdown the source is the Markdown of a guide, made plain: picture
lines are left out, headings are underlined, code spans and fences lose
their marks, links keep their text and tables get aligned columns.

    windows_text.py [--markdown] SOURCE TARGET

A character that Windows-1252 cannot hold stops the conversion with its
line and column, and no target is written.
"""

import argparse
import re
import sys

PICTURE_LINE = re.compile(r"^\s*!\[[^\]]*\]\([^)]*\)\s*$")
PICTURE = re.compile(r"!\[([^\]]*)\]\([^)]*\)")
LINK = re.compile(r"\[([^\]]+)\]\([^)]*\)")
HEADING = re.compile(r"^(#{1,3})\s+(.*?)\s*#*\s*$")
TABLE_RULE = re.compile(r"^\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)*\|?$")
UNDERLINES = {1: "=", 2: "-", 3: "~"}


def inline(text):
    """Plain form of a line's inline Markdown."""
    text = PICTURE.sub(r"\1", text)
    text = LINK.sub(r"\1", text)
    return text.replace("`", "")


def table_cells(line):
    return [inline(cell.strip()) for cell in line.strip().strip("|").split("|")]


def aligned_table(rows):
    """Rows of cells (the first being the header) as aligned text lines."""
    widths = [max(len(row[i]) if i < len(row) else 0 for row in rows)
              for i in range(max(len(row) for row in rows))]

    def line(cells):
        padded = [cells[i].ljust(widths[i]) if i < len(cells) else " " * widths[i]
                  for i in range(len(widths))]
        return " | ".join(padded).rstrip()

    rule = "-+-".join("-" * width for width in widths)
    return [line(rows[0]), rule] + [line(row) for row in rows[1:]]


def plain_markdown(lines):
    out = []
    table = []
    in_fence = False

    def flush_table():
        if table:
            out.extend(aligned_table([row for row in table if row is not None]))
            table.clear()

    for line in lines:
        if line.lstrip().startswith("```"):
            flush_table()
            in_fence = not in_fence
            continue
        if in_fence:
            out.append("    " + line if line else "")
            continue
        if line.startswith("|"):
            table.append(None if TABLE_RULE.match(line.strip()) else table_cells(line))
            continue
        flush_table()
        if PICTURE_LINE.match(line):
            continue
        heading = HEADING.match(line)
        if heading:
            title = inline(heading.group(2))
            out.extend([title, UNDERLINES[len(heading.group(1))] * len(title)])
            continue
        out.append(inline(line).rstrip())
    flush_table()

    # Leaving out pictures can leave blank lines in pairs: keep one.
    text = []
    for line in out:
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
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--markdown", action="store_true")
    parser.add_argument("source")
    parser.add_argument("target")
    args = parser.parse_args()

    with open(args.source, encoding="utf-8") as f:
        lines = f.read().splitlines()
    check_windows_1252(lines, args.source)
    if args.markdown:
        lines = plain_markdown(lines)
    data = "".join(line + "\r\n" for line in lines).encode("cp1252")
    with open(args.target, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
