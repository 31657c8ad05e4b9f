#!/usr/bin/env python3
"""Renders a Markdown guide to one HTML page for reading offline, with its pictures beside it.

Usage: render-guide.py GUIDE.md OUTPUT_DIR

Writes OUTPUT_DIR/<GUIDE>.html and copies every picture the page shows into OUTPUT_DIR under the
same relative path (images/...). A picture that the guide names but that does not exist is an
error, so a package never ships a page with a broken picture. Needs the Markdown module
(Debian: python3-markdown).
"""
import html
import os
import re
import shutil
import sys

try:
    import markdown
except ImportError:
    sys.exit("render-guide: the Python Markdown module is missing (apt-get install python3-markdown)")

STYLE = """
body { font-family: "DejaVu Sans", Verdana, Arial, sans-serif; font-size: 16px; line-height: 1.5;
       color: #222; max-width: 60em; margin: 0 auto; padding: 1em 2em 4em; }
h1, h2, h3 { line-height: 1.2; }
h2 { border-bottom: 2px solid #ddd; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: .35em .6em; vertical-align: top; text-align: left; }
th { background: #eef0f3; }
tr:nth-child(even) td { background: #f8f9fa; }
code { background: #f1f2f4; padding: 0 .25em; border-radius: 3px; white-space: pre-wrap; }
pre { background: #f1f2f4; padding: .8em 1em; overflow-x: auto; }
pre code { background: none; padding: 0; }
img { max-width: 100%; height: auto; border: 1px solid #ddd; }
blockquote { border-left: 4px solid #f28c1b; margin: 1em 0; padding: .2em 1em; background: #fff8ef; }
.toc { background: #f8f9fa; border: 1px solid #ddd; padding: .5em 1.5em; display: inline-block; }
@media print { body { max-width: none; } h2 { page-break-before: auto; } }
"""


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source, out_dir = sys.argv[1], sys.argv[2]
    source_dir = os.path.dirname(os.path.abspath(source))
    with open(source, encoding="utf-8") as f:
        text = f.read()

    title_match = re.search(r"^# (.+)$", text, re.MULTILINE)
    title = title_match.group(1).strip() if title_match else os.path.basename(source)
    body = markdown.markdown(
        text, extensions=["tables", "fenced_code", "sane_lists", "toc"],
        extension_configs={"toc": {"toc_depth": "2-3"}}, output_format="html5")

    os.makedirs(out_dir, exist_ok=True)
    missing = []
    for picture in sorted(set(re.findall(r'<img[^>]* src="([^"]+)"', body))):
        if re.match(r"^[a-z]+:", picture) or picture.startswith("/") or ".." in picture:
            missing.append(f"{picture} (only pictures inside the guide's folder can be shipped)")
            continue
        origin = os.path.join(source_dir, picture)
        if not os.path.isfile(origin):
            missing.append(picture)
            continue
        target = os.path.join(out_dir, picture)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(origin, target)
    if missing:
        sys.exit("render-guide: pictures not found: " + ", ".join(missing))

    page = (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n"
            f"<body>\n{body}\n</body>\n</html>\n")
    name = os.path.splitext(os.path.basename(source))[0] + ".html"
    with open(os.path.join(out_dir, name), "w", encoding="utf-8") as f:
        f.write(page)
    print(os.path.join(out_dir, name))


if __name__ == "__main__":
    main()
