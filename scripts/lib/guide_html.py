#!/usr/bin/python3
"""Turns a Markdown guide into one HTML file that any Windows browser opens.

Usage: guide_html.py GUIDE.md OUTPUT.html TITLE
       guide_html.py --check GUIDE.md...

Pictures that the guide links ("images/x.png", beside the guide) are put
inside the page, so the page needs nothing beside it. A guide with a table
row of more or fewer cells than its header is refused: the page would drop
the extra cells or show empty ones, silently.
"""
import base64
import os
import re
import sys

import markdown


def inline_images(html, folder):
    def replace(match):
        path = os.path.join(folder, match.group(1))
        with open(path, "rb") as picture:
            data = base64.b64encode(picture.read()).decode("ascii")
        return 'src="data:image/png;base64,' + data + '"'
    return re.sub(r'src="([^"]+\.png)"', replace, html)


def table_row_faults(text):
    """Lines of table rows whose cell count differs from their header's.

    The rows are split by the renderer's own table splitter, so a "|" in
    code or escaped counts exactly as it does on the page.
    """
    splitter = markdown.Markdown(extensions=["tables"]).parser.blockprocessors["table"]
    splitter.border = True  # every table of ours has outer pipes
    faults = []
    header_cells = None
    in_code = False
    for number, line in enumerate(text.splitlines(), 1):
        row = line.strip()
        if row.startswith("```"):
            in_code = not in_code
        if in_code or not row.startswith("|"):
            header_cells = None
            continue
        cells = len(splitter._split_row(row))
        if header_cells is None:
            header_cells = cells
        elif cells != header_cells:
            faults.append("line %d has %d cells, its table %d" % (number, cells, header_cells))
    return faults


def refuse_faults(source, text):
    faults = table_row_faults(text)
    for fault in faults:
        print("%s: %s" % (source, fault), file=sys.stderr)
    return not faults


PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: Segoe UI, Arial, sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; line-height: 1.45; }}
table {{ border-collapse: collapse; margin: 1em 0; }}
th, td {{ border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }}
code, pre {{ font-family: Consolas, monospace; background: #f3f3f3; }}
pre {{ padding: 0.6em; overflow-x: auto; }}
img {{ max-width: 100%; border: 1px solid #ccc; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def main(source, output, title):
    with open(source, encoding="utf-8") as guide:
        text = guide.read()
    if not refuse_faults(source, text):
        sys.exit("%s: a table row does not fit its table" % source)
    body = markdown.markdown(text, extensions=["tables", "fenced_code", "toc"])
    body = inline_images(body, os.path.dirname(os.path.abspath(source)))
    with open(output, "w", encoding="utf-8", newline="\r\n") as page:
        page.write(PAGE.format(title=title, body=body))


def check(sources):
    fits = True
    for source in sources:
        with open(source, encoding="utf-8") as guide:
            fits = refuse_faults(source, guide.read()) and fits
    return fits


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[1] == "--check":
        sys.exit(0 if check(sys.argv[2:]) else 1)
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
