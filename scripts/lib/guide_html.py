#!/usr/bin/python3
"""Turns a Markdown guide into one HTML file that any Windows browser opens.

Usage: guide_html.py GUIDE.md OUTPUT.html TITLE

Pictures that the guide links ("images/x.png", beside the guide) are put
inside the page, so the page needs nothing beside it.
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
    body = markdown.markdown(text, extensions=["tables", "fenced_code", "toc"])
    body = inline_images(body, os.path.dirname(os.path.abspath(source)))
    with open(output, "w", encoding="utf-8", newline="\r\n") as page:
        page.write(PAGE.format(title=title, body=body))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
