#!/usr/bin/env python3
"""How often markers proposed from one and from two example values cut the right
value, over pages of real document sets and of the example site. Not a test:
run it by hand after building bench_markers_corpus.

Debian packages it reads (install them first, as root):
    apt-get install sqlite3-doc python3-doc debian-reference-zh-cn

    scripts/markers-corpus.py [BUILD_DIR]

The right value of a field on a page is read here, from a tree that
html.parser builds, by a rule of the field; a cut is right when the text it
shows (read the same way) is that value. With one example the first page with
the field gives it; the second example is the first page where that one's
markers cut a wrong value (the page a user would add), else the second page
with the field.
"""
import glob
import json
import os
import re
import subprocess
import sys
from html.parser import HTMLParser

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
        "param", "source", "track", "wbr"}
BLOCK = {"address", "article", "aside", "blockquote", "br", "caption", "dd", "div", "dl",
         "dt", "fieldset", "figcaption", "figure", "footer", "form", "h1", "h2", "h3", "h4",
         "h5", "h6", "header", "hr", "li", "main", "nav", "ol", "option", "p", "pre",
         "section", "table", "tbody", "td", "tfoot", "th", "thead", "title", "tr", "ul"}


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag, self.attrs, self.parent, self.kids = tag, dict(attrs), parent, []

    def find_all(self, tag=None, **attrs):
        for k in self.kids:
            if isinstance(k, Node):
                if (tag is None or k.tag == tag) and all(
                        v in (k.attrs.get(a.rstrip("_")) or "").split() for a, v in attrs.items()):
                    yield k
                yield from k.find_all(tag, **attrs)

    def find(self, tag=None, **attrs):
        return next(self.find_all(tag, **attrs), None)


class TreeBuilder(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = self.cur = Node("#root", {}, None)

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.cur)
        self.cur.kids.append(node)
        if tag not in VOID:
            self.cur = node

    def handle_startendtag(self, tag, attrs):
        self.cur.kids.append(Node(tag, attrs, self.cur))

    def handle_endtag(self, tag):
        n = self.cur
        while n is not None and n.tag != tag:
            n = n.parent
        if n is not None and n.parent is not None:
            self.cur = n.parent

    def handle_data(self, data):
        self.cur.kids.append(data)


def parse(html):
    b = TreeBuilder()
    b.feed(html)
    b.close()
    return b.root


def text(node, skip=lambda n: False):
    out = []

    def walk(n):
        for k in n.kids:
            if isinstance(k, str):
                out.append(k)
            elif k.tag not in ("script", "style") and not skip(k):
                if k.tag in BLOCK:
                    out.append(" ")
                walk(k)
                if k.tag in BLOCK:
                    out.append(" ")
    walk(node)
    return " ".join("".join(out).replace("\xa0", " ").split())


def shown(fragment):
    return text(parse(fragment))


def after_heading(root, heading_tag, heading_text, tag):
    """The first tag after the heading of that text, in document order."""
    seen = False
    for n in root.find_all():
        if n.tag == heading_tag and text(n) == heading_text:
            seen = True
        elif seen and n.tag == tag:
            return n
    return None


def nth(it, i):
    items = list(it)
    return items[i] if len(items) > i else None


def t(node, **kw):
    return text(node, **kw) if node is not None else None


def match(pattern, value):
    m = re.search(pattern, value or "")
    return m.group(1) if m else None


def headerless(n):
    return n.tag == "a" and "headerlink" in (n.attrs.get("class") or "")


def first_cell(root):
    """A node: its value may stand earlier in the page, see occurrence."""
    table = root.find("table", class_="table")
    body = table.find("tbody") if table else None
    return body.find("td") if body else None


def occurrence(root, node, value):
    """Which occurrence of value in the page's shown text the node's is."""
    node.kids.insert(0, "\x00")
    prefix = text(root).split("\x00")[0]
    node.kids.pop(0)
    count, at = 1, prefix.find(value)
    while at >= 0:
        count, at = count + 1, prefix.find(value, at + 1)
    return count


PY = "/usr/share/doc/python3.11/html/library"
SITES = {
    "sqlite3-doc c3ref": (sorted(glob.glob("/usr/share/doc/sqlite3/c3ref/*.html"))[:60], {
        "title": lambda r: t(r.find("title")),
        "heading (2nd h2)": lambda r: t(nth(r.find_all("h2"), 1)),
        "declaration (pre)": lambda r: t(r.find("pre")),
    }),
    "python3-doc library": (sorted(glob.glob(PY + "/*.html"))[:60], {
        "heading (h1)": lambda r: t(r.find("h1"), skip=headerless),
        "next topic link": lambda r: t(after_heading(r, "h4", "Next topic", "a")),
        "previous topic link": lambda r: t(after_heading(r, "h4", "Previous topic", "a")),
        "source code link": lambda r: t(after_heading(r, "strong", "Source code:", "a")),
        "last updated date": lambda r: match(r"Last updated on (.+?)\.", t(r.find("div", class_="footer"))),
        "version number": lambda r: match(r"Python ([0-9.]+) documentation", t(r.find("title"))),
    }),
    "debian-reference-zh-cn": (sorted(glob.glob("/usr/share/debian-reference/*.zh-cn.html")), {
        "title (Chinese)": lambda r: t(r.find("title")),
        "first section heading": lambda r: t(r.find("h2", class_="title")),
        "first table caption": lambda r: t(r.find("p", class_="title")),
        "first table cell": first_cell,
    }),
    "example site": (None, {
        "article title": lambda r: t(r.find("h1")),
        "date": lambda r: match(r"发布日期：(\S+)", t(r.find("p", id="date"))),
        "price": lambda r: match(r"价格：(\S+) 元", t(r.find("p", id="price"))),
        "article body": lambda r: t(r.find("div", id="content")),
        "next link text": lambda r: t(nth(r.find("p", id="foot").find_all("a"), 2)),
    }),
}


def suggest(program, files, examples):
    request = json.dumps({"files": files, "examples": examples})
    out = subprocess.run([program], input=request.encode(), capture_output=True, check=True)
    return json.loads(out.stdout)


def score(result, truth):
    """Pages where the field exists, and those with the right value cut."""
    have = [i for i, v in enumerate(truth) if v]
    values = result["values"] or [None] * len(truth)
    right = [i for i in have if values[i] is not None
             and shown(values[i]) == truth[i]]
    return have, right


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    program = os.path.join(build, "bench_markers_corpus")
    demo = os.path.join(build, "markers-corpus-demosite")
    subprocess.run([program, "demosite", demo], check=True)
    rows, slowest = [], 0.0
    for site, (files, fields) in SITES.items():
        files = files or sorted(glob.glob(demo + "/*.Htm"), key=lambda f: int(os.path.basename(f)[:-4]))
        trees = [parse(open(f, encoding="utf-8", errors="replace").read()) for f in files]
        for field, rule in fields.items():
            found = [rule(tr) for tr in trees]
            truth = [t(f) if isinstance(f, Node) else f or None for f in found]
            occ = [occurrence(tr, f, v) if isinstance(f, Node) and v else 1
                   for tr, f, v in zip(trees, found, truth)]
            have = [i for i, v in enumerate(truth) if v]
            if len(have) < 2:
                rows.append((field, site, len(have), None, None, "too few pages"))
                continue
            one = suggest(program, files, [[have[0], truth[have[0]], occ[have[0]]]])
            _, right1 = score(one, truth)
            wrong = [i for i in have if i not in right1 and i != have[0]]
            second = wrong[0] if wrong else have[1]
            two = suggest(program, files, [[have[0], truth[have[0]], occ[have[0]]],
                                           [second, truth[second], occ[second]]])
            _, right2 = score(two, truth)
            slowest = max(slowest, one["ms"], two["ms"])
            note = one["problem"] or two["problem"] or ("2: " + two["note"] if two.get("note") else "")
            if not note and len(right1) < len(have):
                note = "1: %r … %r" % (one["start"][-30:], one["end"][:30])
            rows.append((field, site, len(have), 100.0 * len(right1) / len(have),
                         100.0 * len(right2) / len(have), note))
    print("| field | site | pages | right, 1 example | right, 2 examples | note |")
    print("|---|---|---|---|---|---|")
    for field, site, n, p1, p2, note in rows:
        fmt = lambda p: "–" if p is None else "%.1f %%" % p
        print("| %s | %s | %d | %s | %s | %s |" % (field, site, n, fmt(p1), fmt(p2), note))
    done = [r for r in rows if r[3] is not None]
    pages = sum(r[2] for r in done)
    print("\nAll fields: %.1f %% with one example, %.1f %% with two (%d field pages); "
          "slowest suggestion %.0f ms" % (
              sum(r[2] * r[3] for r in done) / pages, sum(r[2] * r[4] for r in done) / pages,
              pages, slowest))


if __name__ == "__main__":
    main()
