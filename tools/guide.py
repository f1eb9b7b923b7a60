#!/usr/bin/env python3
"""Builds the user's guide, docs/guide.ja.md, into an HTML page with its
pictures, after checking that the guide names only what the program has.

  tools/guide.py --cmark CMARK --out-dir DIR [--embed FILE.cpp]
  tools/guide.py --check-only

The Markdown is converted by cmark (CommonMark); the page around it has its
title, one inline stylesheet and a table of contents of the guide's
sections. DIR receives index.html and every picture the guide shows;
--embed also writes them as a C++ table for the bridge, which serves them
at /guide/.

The checks, which fail the build rather than mislead a user:
  - every picture ![...](NAME) exists in docs/;
  - in code (`...` and fenced blocks) every --option is one of the bridge's
    (bridge/options.cpp, the text of its --help), every /SWITCH one of
    setup's (its /? text in installer/strings.nsh), every TU... name one of
    the plug-in's settings, every --area or /AREA= value one of the areas,
    and every plain number a value the dialog offers or one that --help or
    /? names;
  - every text in 「」 is one of Gridwren's own texts: the dialog, setup's
    pages (with the Modern UI's Japanese), the plug-in's menu and messages,
    and the bridge's status page (its states' words, labels and notes, its
    outlook's labels and the operators' band names, and the outcomes the
    poller and the reader say on it).
Exit status: 0 built (or checked), 1 a check failed, 2 bad usage.
"""
import argparse
import html
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GUIDE = os.path.join(ROOT, "docs", "guide.ja.md")
TITLE = "Gridwren の使い方"
NSIS_LANGUAGE = "/usr/share/nsis/Contrib/Language files"

# Gridwren's own texts, where 「」 in the guide may quote from.
TEXT_SOURCES = ["resources/gridwren.rc", "installer/strings.nsh", "installer/shortcuts.nsh",
                "monitor/scheduling.cpp", "resources/mail_template.eml", "bridge/serving/status_page.cpp",
                "bridge/serving/outlook_lines.cpp", "bridge/charts/chart_layout.cpp",
                "bridge/upstream/poller.cpp", "bridge/reading/operator_file.cpp"]
# The plug-in's menu texts, in code page 932 as the mail client takes them.
CP932_SOURCES = ["plugin/plugin_info.h"]
NSIS_TEXTS = ["Japanese.nlf", "Japanese.nsh"]

STYLE = """
body { font-family: "Meiryo", "Yu Gothic", "IPAPGothic", sans-serif; line-height: 1.7;
       color: #222; background: #fff; margin: 0; }
main { max-width: 46em; margin: 0 auto; padding: 1em 1.2em 3em; }
h1 { font-size: 1.6em; border-bottom: 3px solid #2a6; padding-bottom: .2em; }
h2 { font-size: 1.3em; margin-top: 2em; border-left: 6px solid #2a6; padding-left: .4em; }
h3 { font-size: 1.1em; margin-top: 1.5em; }
code { font-family: "MS Gothic", "IPAGothic", monospace; background: #f3f3f3; padding: 0 .2em; }
pre { background: #f3f3f3; padding: .6em; overflow-x: auto; line-height: 1.4; }
pre code { padding: 0; }
img { max-width: 100%; height: auto; border: 1px solid #ccc; }
nav { background: #f6faf7; border: 1px solid #cde; padding: .4em 1em; }
nav ol { margin: .3em 0; }
blockquote { border-left: 4px solid #e90; margin-left: 0; padding-left: 1em; background: #fff8ec; }
"""


def read(path):
    with open(path, encoding="utf-8-sig") as f:
        return f.read()


def code_of(markdown):
    """The guide's code: fenced blocks and inline spans, in order."""
    blocks = re.findall(r"^```[^\n]*\n(.*?)^```", markdown, re.S | re.M)
    rest = re.sub(r"^```[^\n]*\n.*?^```", "", markdown, flags=re.S | re.M)
    return blocks + re.findall(r"`([^`\n]+)`", rest)


def c_literals(text, name):
    """The concatenated string literals of `const char name[] = "..." "...";`."""
    body = re.search(r"\b" + name + r"\[\]\s*=\s*(.*?);\n", text, re.S).group(1)
    parts = re.findall(r'"((?:[^"\\]|\\.)*)"', body)
    return "".join(p.encode().decode("unicode_escape") for p in parts)


def with_defines(text):
    """NSIS text with its own !define NAME "value" put in for ${NAME}."""
    for name, value in re.findall(r'^!define (\w+) "([^"]*)"', text, re.M):
        text = text.replace("${%s}" % name, value)
    return text


class Program:
    """What the program offers, read from its sources."""

    def __init__(self):
        options = read(os.path.join(ROOT, "bridge/options.cpp"))
        self.bridge_help = c_literals(options, "kUsage") + c_literals(options, "kServiceUsage")
        self.bridge_options = set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", self.bridge_help))
        strings = read(os.path.join(ROOT, "installer/strings.nsh"))
        usage = re.search(r'LangString Usage \$\{LANG_JAPANESE\} "(.*)"', strings).group(1)
        self.setup_help = usage
        # "/?" is the switch that shows this text.
        self.setup_switches = set(re.findall(r"(?<![\w/])/[A-Z?]+=?", usage)) | {"/?"}
        areas = re.search(r"--area NAME.*?:(.*?)\n\s*--listen", self.bridge_help, re.S).group(1)
        self.areas = set(re.findall(r"[a-z]+", areas.replace(" or ", " ")))
        self.settings = set(re.findall(r'u"(TU[A-Za-z]+)"', read(os.path.join(ROOT, "settings/settings_store.h"))))
        model = read(os.path.join(ROOT, "dialog/dialog_model.cpp"))
        self.numbers = set(re.findall(r'u"(\d+)"', model))
        self.numbers |= set(re.findall(r"\d+", self.bridge_help + usage))
        texts = [with_defines(read(os.path.join(ROOT, p))) for p in TEXT_SOURCES
                 if os.path.exists(os.path.join(ROOT, p))]
        # Setup's standard pages speak NSIS's own Japanese (Debian package
        # nsis-common, in the native set too, as every build checks the guide).
        nsis = [os.path.join(NSIS_LANGUAGE, n) for n in NSIS_TEXTS]
        self.missing = [p for p in nsis if not os.path.exists(p)]
        texts += [read(p) for p in nsis if p not in self.missing]
        for path in CP932_SOURCES:
            text = read(os.path.join(ROOT, path))
            for name in re.findall(r"constexpr char (\w+)\[\]", text):
                raw = c_literals(text, name).encode("latin-1")
                texts.append(raw.decode("cp932", errors="replace"))
        self.texts = "\n".join(texts).replace("&", "")


def check(markdown, program):
    """The guide's faults, one line each."""
    faults = []
    for picture in pictures_of(markdown):
        if not os.path.isfile(os.path.join(ROOT, "docs", picture)):
            faults.append("picture docs/%s does not exist" % picture)
    # What a code span may name, where the program keeps its real names, and
    # how a stray one is reported.
    names = [
        (r"(?<![\w-])--[a-z][a-z-]*", program.bridge_options, "an option of gridwren-bridge (--help)"),
        (r"(?<![\w/:.\\])/[A-Z?]+=?", program.setup_switches, "a switch of setup (/?)"),
        (r"(?:--area |/AREA=|\d=)([a-z]+)\b", program.areas, "an area (--area)"),
        (r"\bTU[A-Za-z]+", program.settings, "one of the plug-in's settings"),
    ]
    for code in code_of(markdown):
        for pattern, known, what in names:
            for name in re.findall(pattern, code):
                if name not in known:
                    faults.append("%s is not %s" % (name, what))
        if re.fullmatch(r"\d+", code) and code not in program.numbers:
            faults.append("%s is neither a value of the dialog nor one that --help or /? names" % code)
    unknown = [text for text in re.findall(r"「([^」]+)」", markdown) if text not in program.texts]
    faults += ["「%s」 is not one of Gridwren's own texts" % text for text in unknown]
    if unknown and program.missing:
        faults.append("setup's standard texts are not on this machine (%s): install the Debian package "
                      "nsis-common (scripts/install-deps.sh native)" % ", ".join(program.missing))
    return faults


def pictures_of(markdown):
    return re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", markdown)


def page(fragment):
    """The whole page: cmark's HTML with ids on the sections and their list."""
    sections = []

    def number(match):
        sections.append(match.group(1))
        return '<h2 id="s%d">%s</h2>' % (len(sections), match.group(1))

    # The guide's notes to its editors are not for its readers.
    fragment = fragment.replace("<!-- raw HTML omitted -->\n", "")
    body = re.sub(r"<h2>(.*?)</h2>", number, fragment)
    contents = "".join('<li><a href="#s%d">%s</a></li>' % (i + 1, s) for i, s in enumerate(sections))
    nav = '<nav><strong>目次</strong><ol>%s</ol></nav>\n' % contents
    first = body.find("<h2")
    if first >= 0:
        body = body[:first] + nav + body[first:]
    return ('<!DOCTYPE html>\n<html lang="ja">\n<head>\n<meta charset="utf-8">\n'
            '<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            "<title>%s</title>\n<style>%s</style>\n</head>\n<body>\n<main>\n%s</main>\n</body>\n</html>\n"
            % (html.escape(TITLE), STYLE, body))


def embed(files, path):
    """The files as a C++ table for the bridge (bridge/serving/guide.h)."""
    out = ["// Written by tools/guide.py from docs/guide.ja.md; do not edit.",
           '#include "bridge/serving/guide.h"', "", "namespace gw::bridge {", "namespace {"]
    for i, (name, data) in enumerate(files):
        out.append("const unsigned char k%d[] = {" % i)
        for at in range(0, len(data), 24):
            out.append("  " + ",".join(str(b) for b in data[at:at + 24]) + ",")
        out.append("};")
    out.append("}  // namespace")
    out.append("const GuideFile kGuideFiles[] = {")
    for i, (name, data) in enumerate(files):
        out.append('  {"%s", k%d, %d},' % (name, i, len(data)))
    out.append("};")
    out.append("const size_t kGuideFileCount = %d;" % len(files))
    out.append("}  // namespace gw::bridge")
    write(path, ("\n".join(out) + "\n").encode())


def write(path, data):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cmark", help="the cmark program")
    parser.add_argument("--out-dir", help="where index.html and the pictures go")
    parser.add_argument("--embed", help="also write the files as a C++ table here")
    parser.add_argument("--check-only", action="store_true", help="only check the guide")
    args = parser.parse_args()
    if not args.check_only and not (args.cmark and args.out_dir):
        parser.error("--cmark and --out-dir, or --check-only")
    markdown = read(GUIDE)
    faults = check(markdown, Program())
    for fault in dict.fromkeys(faults):
        print("docs/guide.ja.md: %s" % fault, file=sys.stderr)
    if faults:
        return 1
    if args.check_only:
        return 0
    fragment = subprocess.run([args.cmark, "--to", "html", GUIDE], check=True, capture_output=True).stdout
    files = [("index.html", page(fragment.decode("utf-8")).encode("utf-8"))]
    for picture in sorted(set(pictures_of(markdown))):
        with open(os.path.join(ROOT, "docs", picture), "rb") as f:
            files.append((picture, f.read()))
    # A picture the guide no longer shows must not be installed with it.
    if os.path.isdir(args.out_dir):
        for old in set(os.listdir(args.out_dir)) - {name for name, _ in files}:
            os.remove(os.path.join(args.out_dir, old))
    for name, data in files:
        write(os.path.join(args.out_dir, name), data)
    if args.embed:
        embed(files, args.embed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
