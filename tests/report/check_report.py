#!/usr/bin/env python3
"""Reads an examination report as a browser would and holds it against the
logs it was made from: usage  check_report.py REPORT.html MIN_PICTURES LOG.json...

It fails (exit 1, the reasons on stderr) when the page does not parse into
well-nested elements, carries a script or fetches anything, misses a file or
hash any log names, has fewer embedded pictures than asked, or when the hash
list beside it does not hold the page's SHA-256."""
import hashlib
import html.parser
import json
import os
import sys

VOID = {"meta", "img", "br", "hr", "link", "input", "col"}


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open = []
        self.problems = []
        self.text = []
        self.pictures = 0
        self.running_headers = 0

    def handle_starttag(self, tag, attrs):
        attributes = dict(attrs)
        if tag == "script":
            self.problems.append("a script")
        for name in ("src", "href"):
            value = attributes.get(name)
            if value is None:
                continue
            if tag == "img" and value.startswith("data:image/png;base64,"):
                self.pictures += 1
            elif not value.startswith("#"):
                self.problems.append(f"<{tag} {name}> fetches {value[:60]}")
        if tag == "td" and attributes.get("class") == "running":
            self.running_headers += 1
        if tag not in VOID:
            self.open.append(tag)

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.open or self.open[-1] != tag:
            self.problems.append(f"</{tag}> closes <{self.open[-1] if self.open else 'nothing'}>")
            return
        self.open.pop()

    def handle_data(self, data):
        self.text.append(data)


def named_files(record):
    """Every (name, sha256) a log lists: a backup's files and their side files,
    a scan's report, stills."""
    found = []

    def add(entry):
        if isinstance(entry, dict) and entry.get("name"):
            found.append((entry["name"], entry.get("sha256")))

    for f in record.get("files") or []:
        add(f)
        add(f.get("timeFile"))
    add(record.get("report"))
    for still in record.get("stills") or []:
        add(still)
    if record.get("job") == "still":
        add(record.get("still") or record)
    return found


def main():
    report, minimum, logs = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    with open(report, "rb") as f:
        raw = f.read()
    page = Page()
    page.feed(raw.decode("utf-8"))
    page.close()
    problems = list(page.problems)
    if page.open:
        problems.append("elements left open: " + " ".join(page.open))
    text = " ".join(page.text)
    for path in logs:
        with open(path, "rb") as f:
            data = f.read()
        record = json.loads(data)
        digest = hashlib.sha256(data).hexdigest()
        if digest not in text:
            problems.append(f"the log {path}'s SHA-256 is missing")
        for name, sha256 in named_files(record):
            if name not in text:
                problems.append(f"{name} is missing")
            if sha256 and sha256 not in text:
                problems.append(f"{name}'s SHA-256 {sha256} is missing")
        for segment in record.get("segments") or []:
            if segment["start"]["text"] not in text:
                problems.append(f"segment {segment['serial']}'s start is missing")
    if page.pictures < minimum:
        problems.append(f"{page.pictures} pictures, at least {minimum} expected")
    if page.running_headers < 6:
        problems.append(f"{page.running_headers} running headers: one per part expected")
    hash_list = report[: -len(".html")] + ".sha256"
    with open(hash_list, encoding="utf-8") as f:
        listed = f.read()
    line = hashlib.sha256(raw).hexdigest() + "  " + os.path.basename(report)
    if line not in listed.splitlines():
        problems.append(f"{hash_list} does not hold {line}")
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
