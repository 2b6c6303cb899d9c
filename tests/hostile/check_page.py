#!/usr/bin/env python3
"""Checks an overview page strictly and prints what it links to.

Reads the page as Windows-1252 (a byte Windows-1252 lacks is an error), parses
it with html.parser and requires every element that is not a void element to
be closed in order. On success prints one line per thumbnail cell:
"<img src>\t<a href>\t<caption>", with entities already resolved (a control
character of a caption written as "&#N;" again, so that a cell stays on one
line), and exits 0.
On any fault prints the reason and exits 1.

Usage: check_page.py PAGE
"""
import sys
from html.parser import HTMLParser

VOID = {"meta", "img", "br", "hr", "link", "input"}


class StrictPage(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.errors = []
        self.cells = []
        self.current = None
        self.in_link = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "img":
            self.current = [attrs.get("src"), None, ""]
            for key in ("width", "height", "src"):
                if not attrs.get(key):
                    self.errors.append(f"img without {key}")
        elif tag == "a":
            if self.current is None:
                self.errors.append("link before its image")
            else:
                self.current[1] = attrs.get("href")
                self.in_link = True
        if tag not in VOID:
            self.stack.append(tag)

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.stack.pop()

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.stack or self.stack[-1] != tag:
            self.errors.append(f"</{tag}> closes {self.stack[-1] if self.stack else 'nothing'}")
            return
        self.stack.pop()
        if tag == "a" and self.current is not None:
            self.in_link = False
            self.cells.append(self.current)
            self.current = None

    def handle_data(self, data):
        if self.in_link and self.current is not None:
            self.current[2] += data


def main():
    raw = open(sys.argv[1], "rb").read()
    try:
        text = raw.decode("cp1252")
    except UnicodeDecodeError as e:
        print(f"not Windows-1252: {e}")
        return 1
    if not text.endswith("</HTML>\r\n"):
        print("page does not end with </HTML> CR LF")
        return 1
    parser = StrictPage()
    parser.feed(text)
    parser.close()
    if parser.stack:
        parser.errors.append("unclosed: " + " ".join(parser.stack))
    if parser.errors:
        print("\n".join(parser.errors))
        return 1
    out = sys.stdout.buffer
    for src, href, caption in parser.cells:
        caption = "".join(f"&#{ord(c)};" if ord(c) < 0x20 or ord(c) == 0x7F else c
                          for c in caption)
        out.write(f"{src}\t{href}\t{caption}\n".encode("utf-8", "surrogateescape"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
