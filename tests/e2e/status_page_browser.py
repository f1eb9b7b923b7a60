#!/usr/bin/env python3
"""Opens the bridge's status page in headless Chromium, as a person would,
and checks what the browser made of it: each area's state and figures as
the DOM holds them, the graphs decoded, the last fetch's outcome in
Japanese with the log's words only under 詳細, the page's own rules
(Japanese throughout, UTF-8, standards mode, no script, no sideways
scrolling on a phone's width), and the markup's nesting. Chromium is driven
through chromedriver's WebDriver protocol over plain HTTP.

  status_page_browser.py URL --user U --password P [--area NAME=READING.json]...
                         [--forecast NAME=FORECAST.json]... [--refused NAME=REASON]...
                         [--said NAME=TEXT]... [--screenshot FILE] [--phone-screenshot FILE]

READING.json is the reading operator_csv.py printed for that area's file,
FORECAST.json the forecasts it wrote with --forecast-json: the area's
今日の見通し and 明日の見通し must show them, and only them. REASON is a
part of the log's words for the refusal, TEXT the whole of the Japanese
outcome the page must show for that area.
Prints one line per failed check; exit status 0 when every check passed.
Python 3 standard library only.
"""

import argparse
import base64
import html.parser
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--disable-quic", "--hide-scrollbars",
]
PHONE = (390, 844)
DESKTOP_WIDTH = 1100
# Three words of Latin letters in a row: a sentence in English, which the
# page gives only under 詳細 (names such as Gridwren or --source stand alone).
ENGLISH = re.compile(r"[A-Za-z]+(?:[,:;]?[ \t]+[A-Za-z]+){2,}")
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}

# Everything the checks need from the page, read in one go.
FACTS = """
const text = (s, c) => { const e = s.querySelector('.' + c); return e ? e.textContent : null; };
// The outcome as the page says it, and the log's words folded under 詳細.
const outcome = s => {
  const e = s.querySelector('.outcome'), d = e && e.querySelector('details');
  if (!d) return {said: e && e.textContent, summary: null, detail: null};
  const said = e.cloneNode(true);
  said.querySelector('details').remove();
  return {said: said.textContent, summary: d.querySelector('summary').textContent,
          detail: d.textContent.slice(d.querySelector('summary').textContent.length)};
};
// What a person reads in the cards without opening a 詳細, a text a line.
const walk = document.createTreeWalker(document.querySelector('main'), NodeFilter.SHOW_TEXT);
const shown = [];
while (walk.nextNode()) if (!walk.currentNode.parentElement.closest('details')) shown.push(walk.currentNode.data);
const areas = {};
for (const s of document.querySelectorAll('section.area')) {
  const state = s.querySelector('.state');
  areas[s.dataset.area] = {
    state: s.dataset.state, word: state.textContent, colour: getComputedStyle(state).backgroundColor,
    when: text(s, 'when'), percent: text(s, 'percent'), usage: text(s, 'usage'), capacity: text(s, 'capacity'),
    peak: text(s, 'forecast-peak'), advice: text(s, 'advice'), ...outcome(s),
    outlook: Object.fromEntries([...s.querySelectorAll('.outlook')].map(p => [p.dataset.day, {
      text: p.textContent, colour: getComputedStyle(p.querySelector('.band')).backgroundColor,
      aboveGraphs: !!(p.compareDocumentPosition(s.querySelector('.graphs')) & Node.DOCUMENT_POSITION_FOLLOWING)}])),
    images: [...s.querySelectorAll('img')].map(i => ({src: i.getAttribute('src'), complete: i.complete,
                                                       width: i.naturalWidth})),
  };
}
const refresh = document.querySelector('meta[http-equiv="refresh"]');
const guide = [...document.querySelectorAll('footer a')].find(a => a.getAttribute('href') === '/guide/');
return {areas, lang: document.documentElement.lang, charset: document.characterSet, mode: document.compatMode,
        scripts: document.scripts.length, refresh: refresh && refresh.content, guide: guide && guide.textContent,
        footer: document.querySelector('footer').textContent, shown: shown.join('\\n'),
        sideways: document.documentElement.scrollWidth - window.innerWidth,
        height: document.documentElement.scrollHeight};
"""


class WebDriver:
    """The few WebDriver commands the test needs, over plain HTTP."""

    def __init__(self, work):
        missing = [p for p in ("chromedriver", "chromium") if shutil.which(p) is None]
        if missing:
            sys.exit(f"{' and '.join(missing)} not found: scripts/install-deps.sh all installs them")
        self.port = free_port()
        self.process = subprocess.Popen([shutil.which("chromedriver"), f"--port={self.port}"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.base = f"http://127.0.0.1:{self.port}"
        for _ in range(100):
            try:
                self.call("GET", "/status")
                break
            except OSError:
                time.sleep(0.1)
        options = {"binary": shutil.which("chromium"), "args": CHROMIUM_FLAGS + [f"--user-data-dir={work}/profile"]}
        session = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {"goog:chromeOptions": options}}})
        self.base += "/session/" + session["sessionId"]

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=60) as answer:
            return json.load(answer)["value"]

    def script(self, source):
        return self.call("POST", "/execute/sync", {"script": source, "args": []})

    def size(self, width, height):
        """Makes the page's viewport, not the window round it, that size."""
        extra = [0, 0]
        for _ in range(50):
            self.call("POST", "/window/rect", {"width": width + extra[0], "height": height + extra[1]})
            inner = self.script("return [window.innerWidth, window.innerHeight]")
            if inner == [width, height]:
                return
            # The window's own frame, or a layout not yet redone: measure again.
            extra = [extra[0] + width - inner[0], extra[1] + height - inner[1]]
            time.sleep(0.1)

    def close(self):
        try:
            self.call("DELETE", "")
        finally:
            self.process.terminate()
            self.process.wait(timeout=30)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nesting(html.parser.HTMLParser):
    """Faults in the markup that a browser silently mends: an element
    closed out of order or never, and an id used twice."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open, self.faults, self.ids = [], [], set()

    def handle_starttag(self, tag, attrs):
        ident = dict(attrs).get("id")
        if ident is not None and ident in self.ids:
            self.faults.append(f"id {ident} twice")
        self.ids.add(ident)
        if tag not in VOID:
            self.open.append(tag)

    def handle_endtag(self, tag):
        if not self.open or self.open[-1] != tag:
            self.faults.append(f"</{tag}> closes {self.open[-1:] or 'nothing'}")
        else:
            self.open.pop()


def markup_faults(url, user, password):
    request = urllib.request.Request(url)
    token = base64.b64encode(f"{user}:{password}".encode()).decode()
    request.add_header("Authorization", "Basic " + token)
    with urllib.request.urlopen(request, timeout=30) as answer:
        body = answer.read().decode("utf-8")  # strict: the page is UTF-8 through and through
    nesting = Nesting()
    nesting.feed(body)
    faults = nesting.faults + [f"<{tag}> never closed" for tag in nesting.open]
    if not body.startswith("<!DOCTYPE html>"):
        faults.append("no doctype first")
    return faults


def load(driver, url, width, height):
    driver.size(width, height)
    driver.call("POST", "/url", {"url": url})
    for _ in range(100):  # the graphs arrive after the page
        facts = driver.script(FACTS)
        if all(i["complete"] for a in facts["areas"].values() for i in a["images"]):
            return facts
        time.sleep(0.1)
    return facts


def area_faults(name, got, reading):
    want = {
        "state": "fresh", "word": "正常", "percent": f"{reading['usage_percent']}%",
        "usage": f"{reading['usage']:,} 万kW", "capacity": f"{reading['capacity']:,} 万kW",
        "when": f"{reading['year']}年{reading['month']}月{reading['day']}日 {reading['hour']}時台",
    }
    faults = [f"{name}: {k} is {got.get(k)!r}, not {v!r}" for k, v in want.items() if got.get(k) != v]
    if not got["peak"] or "万kW" not in got["peak"]:
        faults.append(f"{name}: no forecast peak ({got['peak']!r})")
    sources = sorted(i["src"] for i in got["images"])
    if sources != [f"/areas/{name}/day.gif", f"/areas/{name}/meter.gif"]:
        faults.append(f"{name}: graphs {sources}")
    faults += [f"{name}: {i['src']} not decoded" for i in got["images"] if i["width"] <= 0]
    return faults


# The operators' bands by their lower bound, with the page's colours.
BANDS = [(97, "非常に厳しい", "rgb(215, 38, 61)"), (95, "厳しい", "rgb(238, 125, 34)"),
         (92, "やや厳しい", "rgb(242, 194, 48)"), (0, "安定的", "rgb(59, 170, 92)")]
LABELS = {"today": "今日の見通し", "tomorrow": "明日の見通し"}


def outlook_faults(name, got, forecasts):
    faults = []
    if sorted(got["outlook"]) != sorted(forecasts):
        faults.append(f"{name}: outlook lines for {sorted(got['outlook'])}, the file gives {sorted(forecasts)}")
    for day, stated in forecasts.items():
        line = got["outlook"].get(day)
        if line is None:
            continue
        _, word, colour = next(b for b in BANDS if stated["usage_percent"] >= b[0])
        for part in (LABELS[day], f"{stated['hour']}時台", f"使用率 {stated['usage_percent']}%", word):
            if part not in line["text"]:
                faults.append(f"{name} {day}: {line['text']!r} lacks {part!r}")
        if line["colour"] != colour:
            faults.append(f"{name} {day}: the band {word} is coloured {line['colour']}, not {colour}")
        if not line["aboveGraphs"]:
            faults.append(f"{name} {day}: the line is not above the graphs")
    return faults


def refused_faults(name, got, reason):
    faults = []
    if got["state"] != "file_refused" or got["word"] != "ファイルを読めません":
        faults.append(f"{name}: state {got['state']} {got['word']!r}")
    if not got["detail"] or reason not in got["detail"]:
        faults.append(f"{name}: the outcome's 詳細 {got['detail']!r} lacks {reason!r}")
    if not got["advice"] or "--source" not in got["advice"]:
        faults.append(f"{name}: advice {got['advice']!r} does not say what to do")
    if got["images"] or got["usage"]:
        faults.append(f"{name}: shows figures or graphs without a reading")
    return faults


def outcome_faults(name, got, said):
    """The outcome in Japanese, the log's words under a 詳細 of their own."""
    faults = []
    if got["summary"] != "詳細" or not got["detail"]:
        faults.append(f"{name}: no 詳細 with the log's words ({got['summary']!r}, {got['detail']!r})")
    if said is not None and got["said"] != said:
        faults.append(f"{name}: the outcome says {got['said']!r}, not {said!r}")
    return faults


def page_faults(facts, expected):
    faults = []
    for key, value in (("lang", "ja"), ("charset", "UTF-8"), ("mode", "CSS1Compat"), ("scripts", 0),
                       ("refresh", "60"), ("guide", "Gridwren の使い方")):
        if facts[key] != value:
            faults.append(f"page: {key} is {facts[key]!r}, not {value!r}")
    if sorted(facts["areas"]) != sorted(expected):
        faults.append(f"page: areas {sorted(facts['areas'])}, not {sorted(expected)}")
    colours = {a["colour"] for a in facts["areas"].values()}
    if len(colours) != len({a["state"] for a in facts["areas"].values()}) or "rgba(0, 0, 0, 0)" in colours:
        faults.append(f"page: the states' colours {colours} (is the stylesheet applied?)")
    if "gridwren-bridge " not in facts["footer"]:
        faults.append("page: the footer names no version")
    faults += [f"page: English outside 詳細: {m!r}" for m in ENGLISH.findall(facts["shown"])]
    return faults


def shoot(driver, path, width):
    """The whole page at `width`, as PNG."""
    driver.size(width, 900)
    driver.size(width, driver.script(FACTS)["height"] + 20)
    with open(path, "wb") as shot:
        shot.write(base64.b64decode(driver.call("GET", "/screenshot")))


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("url", help="the bridge's address, e.g. http://127.0.0.1:8080/")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--area", action="append", default=[], metavar="NAME=READING.json")
    parser.add_argument("--forecast", action="append", default=[], metavar="NAME=FORECAST.json")
    parser.add_argument("--refused", action="append", default=[], metavar="NAME=REASON")
    parser.add_argument("--said", action="append", default=[], metavar="NAME=TEXT")
    parser.add_argument("--screenshot", metavar="FILE", help="save the page at a desktop's width as PNG")
    parser.add_argument("--phone-screenshot", metavar="FILE", help="save the page at a phone's width as PNG")
    return parser.parse_args()


def main():
    args = parse_args()
    readings = {n: json.load(open(f)) for n, f in (a.split("=", 1) for a in args.area)}
    forecasts = {n: json.load(open(f)) for n, f in (a.split("=", 1) for a in args.forecast)}
    refused = dict(r.split("=", 1) for r in args.refused)
    said = dict(s.split("=", 1) for s in args.said)
    parts = urllib.parse.urlsplit(args.url)
    login = f"{urllib.parse.quote(args.user, safe='')}:{urllib.parse.quote(args.password, safe='')}@"
    url = urllib.parse.urlunsplit((parts.scheme, login + parts.netloc, parts.path, "", ""))
    with tempfile.TemporaryDirectory() as work:
        driver = WebDriver(work)
        try:
            facts = load(driver, url, *PHONE)
            faults = page_faults(facts, {**readings, **refused}) + markup_faults(args.url, args.user, args.password)
            if facts["sideways"] > 0:
                faults.append(f"page: {facts['sideways']} px wider than a phone's screen")
            shown = facts["areas"]
            faults += [f for n, r in readings.items() if n in shown for f in area_faults(n, shown[n], r)]
            faults += [f for n, r in refused.items() if n in shown for f in refused_faults(n, shown[n], r)]
            faults += [f for n, r in forecasts.items() if n in shown for f in outlook_faults(n, shown[n], r)]
            faults += [f for n in shown for f in outcome_faults(n, shown[n], said.get(n))]
            if args.phone_screenshot:
                shoot(driver, args.phone_screenshot, PHONE[0])
            if args.screenshot:
                shoot(driver, args.screenshot, DESKTOP_WIDTH)
        finally:
            driver.close()
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
