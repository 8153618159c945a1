#!/usr/bin/env python3
"""The shipped documents are whole: every link and picture of the manual
resolves, every page is reachable from the contents, and hint.pdf is a PDF
whose text says what the overwrite question needs explained.

usage: check_docs.py MANUAL_DIR HINT_PDF
"""
import html.parser
import os
import shutil
import subprocess
import sys
import urllib.parse


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.targets, self.ids = [], set()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and "name" in attrs:
            self.ids.add(attrs["name"])
        for key in ("href", "src"):
            if tag in ("a", "img") and attrs.get(key):
                self.targets.append(attrs[key])


def check_manual(root):
    faults, pages = [], {}
    for dirpath, _, files in os.walk(root):
        for name in files:
            if name.endswith(".html"):
                path = os.path.join(dirpath, name)
                parser = Links()
                with open(path, encoding="utf-8") as f:
                    parser.feed(f.read())
                pages[os.path.normpath(path)] = parser
    index = os.path.normpath(os.path.join(root, "index.html"))
    if index not in pages:
        return ["no index.html in " + root]
    for path, parser in pages.items():
        for target in parser.targets:
            url = urllib.parse.urlsplit(target)
            if url.scheme in ("http", "https", "mailto"):
                continue
            if url.scheme:
                faults.append(f"{path}: unexpected link {target}")
                continue
            file = os.path.normpath(os.path.join(os.path.dirname(path), urllib.parse.unquote(url.path))) \
                if url.path else path
            if not os.path.isfile(file):
                faults.append(f"{path}: {target} does not resolve")
            elif url.fragment and file in pages and url.fragment not in pages[file].ids:
                faults.append(f"{path}: {target}: no anchor {url.fragment}")
    # Every page can be reached from the contents.
    seen, todo = {index}, [index]
    while todo:
        page = todo.pop()
        for target in pages[page].targets:
            url = urllib.parse.urlsplit(target)
            if url.scheme or not url.path.endswith(".html"):
                continue
            file = os.path.normpath(os.path.join(os.path.dirname(page), url.path))
            if file in pages and file not in seen:
                seen.add(file)
                todo.append(file)
    faults += [f"{page}: not reachable from the contents" for page in sorted(set(pages) - seen)]
    # Every picture is used (the screenshot script must not leave stale ones behind).
    used = {os.path.normpath(os.path.join(os.path.dirname(p), t)) for p, parser in pages.items()
            for t in parser.targets if t.endswith(".png")}
    images = os.path.join(root, "images")
    for name in sorted(os.listdir(images)) if os.path.isdir(images) else []:
        if os.path.normpath(os.path.join(images, name)) not in used:
            faults.append(f"{images}/{name}: not used by any page")
    return faults


def check_hint(pdf):
    with open(pdf, "rb") as f:
        data = f.read()
    if not data.startswith(b"%PDF-") or b"%%EOF" not in data[-1024:]:
        return [f"{pdf}: not a complete PDF file"]
    tool = shutil.which("pdftotext")
    if not tool:
        return ["pdftotext (poppler-utils) is missing: cannot read hint.pdf's text"]
    result = subprocess.run([tool, "-enc", "UTF-8", pdf, "-"], capture_output=True, text=True)
    if result.returncode != 0:
        return [f"{pdf}: pdftotext failed: {result.stderr.strip()}"]
    text = "".join(result.stdout.split())
    expected = ["書込み済みです。", "上書きしますか？", "フラッシュ", "ワンタイム", "コードプロテクト",
                "キャリブレーションワード", "バンドギャップ"]
    faults = [f"{pdf}: text lacks {word}" for word in expected if word not in text]
    if "目次" in text:
        faults.append(f"{pdf}: the manual's navigation reached the PDF")
    return faults


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    faults = check_manual(sys.argv[1]) + check_hint(sys.argv[2])
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
