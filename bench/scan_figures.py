#!/usr/bin/env python3
"""Whole-scan figures for scan_site.

Serves two fixture sites on 127.0.0.1 and scans each with
`scan_site --developer-mode`:

  small  a site with the usual discovery documents; prints the wall time
         against the pacing floor ((hops - 1) x 0.12 s) as a ratio, and the
         peak resident memory of scan_site.
  large  a site whose 40 documents are each 1.9 MB; prints the peak resident
         memory against the total body bytes.
  catalog  a conventional manifest that declares 40 JSON catalogs of 1.9 MB,
         10,200 small objects each; prints the peak resident memory of
         scan_site during the scan and at its end, and of the application
         (offscreen) with the saved report open, against the body bytes.

usage: scan_figures.py [path/to/scan_site] [--runs N] [--app path/to/quorilanth]
                       [--only small|large|catalog]
"""

import argparse
import http.server
import json
import os
import re
import subprocess
import sys
import tempfile
import threading

PACING_S = 0.12
LARGE_DOCS = 40
LARGE_BYTES = 1_900_000


def small_site(origin):
    return {
        "/": ("text/html", f"""<html lang="en"><head><title>Fixture</title>
<meta name="description" content="A fixture site">
<link rel="canonical" href="{origin}/">
<link rel="alternate" type="text/plain" href="/llms.txt">
</head><body><a href="/agents">agents</a></body></html>"""),
        "/.well-known/agent.json": ("application/json", json.dumps({
            "name": "Fixture", "publisher": "Fixture Inc.", "url": origin + "/",
            "endpoints": {"card": origin + "/docs/agent-card.json"}})),
        "/docs/agent-card.json": ("application/json", json.dumps({"name": "Card", "skills": []})),
        "/llms.txt": ("text/plain", f"# Fixture\n\n- [Agent]({origin}/.well-known/agent.json)\n"),
        "/robots.txt": ("text/plain", f"User-agent: *\nSitemap: {origin}/sitemap.xml\n"),
        "/sitemap.xml": ("application/xml",
                         '<?xml version="1.0"?><urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">'
                         f"<url><loc>{origin}/llms.txt</loc></url></urlset>"),
    }


def large_manifest(index):
    # The bulk is one long description: the parser keeps the decoded value as
    # the node's metadata, so such a body is held twice by design.
    head = json.dumps({"name": f"Doc {index}", "description": ""})[:-2]
    return head + "x" * (LARGE_BYTES - len(head) - 2) + '"}'


def large_text(index, origin):
    line = f"- {origin}/d{index}/notes/page.html\n"
    return f"# Doc {index}\n" + line * (LARGE_BYTES // len(line))


def large_site(kind):
    """40 documents of 1.9 MB: the root page and 39 that it or the well-known
    paths lead to; either JSON manifests or plain-text documents."""
    def build(origin):
        site = {}
        if kind == "json":
            fixed = ["/.well-known/agent.json", "/.well-known/agent-card.json",
                     "/.well-known/ai-catalog.json", "/.well-known/agent-manifest.json"]
            declared = [f"/d{i}/agent.json" for i in range(LARGE_DOCS - 1 - len(fixed))]
            for i, path in enumerate(fixed + declared):
                site[path] = ("application/json", large_manifest(i))
        else:
            fixed = ["/llms.txt", "/robots.txt"]
            declared = [f"/d{i}/llms.txt" for i in range(LARGE_DOCS - 1 - len(fixed))]
            for i, path in enumerate(fixed + declared):
                site[path] = ("text/plain", large_text(i, origin))
        links = "".join(f'<a href="{p}">d</a>' for p in declared)
        head = f"<html><head><title>Large</title></head><body>{links}<p>"
        site["/"] = ("text/html", head + "y" * (LARGE_BYTES - len(head) - 15) + "</p></body></html>")
        return site
    return build


CATALOG_ITEMS = 10_200


def catalog(index, origin):
    """One catalog of small objects, padded to LARGE_BYTES by its description."""
    items = [{"id": f"item-{index:02d}-{i:05d}", "name": f"Item {i}",
              "description": f"Entry {i} of catalog {index}.",
              "url": f"{origin}/c/{index}/items/{i}",
              "tags": ["lookup", "read"], "version": i % 7}
             for i in range(CATALOG_ITEMS)]
    text = json.dumps({"name": f"Catalog {index}", "description": "", "items": items})
    pad = LARGE_BYTES - len(text)
    assert pad >= 0, "a catalog must stay below the body limit"
    return text.replace('"description": ""', '"description": "' + "z" * pad + '"', 1)


def catalog_site(origin):
    paths = [f"/catalogs/{i}/ai-catalog.json" for i in range(LARGE_DOCS)]
    site = {path: ("application/json", catalog(i, origin)) for i, path in enumerate(paths)}
    site["/.well-known/agent.json"] = ("application/json", json.dumps(
        {"name": "Catalogs", "publisher": "Fixture Inc.",
         "catalogs": [{"name": f"Catalog {i}", "url": path} for i, path in enumerate(paths)]}))
    site["/"] = ("text/html", "<html><head><title>Catalogs</title></head><body></body></html>")
    return site


class FixtureServer:
    def __init__(self, build):
        documents = {}

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                path = self.path.split("?", 1)[0]
                if path in documents:
                    kind, body = documents[path]
                    data = body.encode()
                    self.send_response(200)
                    self.send_header("Content-Type", kind)
                else:
                    data = b""
                    self.send_response(404)
                self.send_header("Content-Length", str(len(data)))
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(data)

            do_POST = do_GET

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.origin = f"http://127.0.0.1:{self.httpd.server_address[1]}"
        documents.update(build(self.origin))
        self.body_bytes = sum(len(body.encode()) for _, body in documents.values())
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# A child's peak resident memory as wait4 reports it starts from the size of
# the process that forked it, and this one holds every fixture document. So
# each measured program is started by a small Python of its own, which prints
# the child's figure as the last line of standard error.
PEAK_HELPER = """
import os, sys
pid = os.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
_, status, usage = os.wait4(pid, 0)
sys.stderr.write(f"peak_kib={usage.ru_maxrss}\\n")
sys.exit(os.waitstatus_to_exitcode(status))
"""


def measured(command):
    return [sys.executable, "-c", PEAK_HELPER, *command]


def run_scan(scan_site, origin):
    process = subprocess.Popen(measured([scan_site, "--developer-mode", origin + "/"]),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out_chunks = []
    reader = threading.Thread(target=lambda: out_chunks.append(process.stdout.read()))
    reader.start()
    err = process.stderr.read().decode()
    reader.join()
    process.wait()
    if process.returncode != 0:
        sys.exit(f"scan_site failed ({process.returncode}): {err}")
    lines = err.strip().splitlines()
    figures = dict(re.findall(r"(\w+)=(-?\d+)", " ".join(lines[-3:])))
    report = json.loads(out_chunks[0])
    return {
        "elapsed_s": int(figures["elapsed_ms"]) / 1000,
        "exchanges": int(figures["exchanges"]),
        "locations": int(figures["locations"]),
        "peak_mib": int(figures["peak_kib"]) / 1024,
        "scan_peak_mib": int(figures["scan_peak_kib"]) / 1024,
        "score": sum(c["points"] for c in report["checks"] if c["passed"]),
        "report": out_chunks[0],
    }


def run_app(app, report_bytes):
    """Peak resident memory of the application opening a saved report, offscreen,
    in a library folder of its own."""
    with tempfile.TemporaryDirectory(prefix="ql-bench-") as folder:
        path = os.path.join(folder, "report.json")
        with open(path, "wb") as file:
            file.write(report_bytes)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_DATA_HOME=folder,
                   XDG_CONFIG_HOME=folder, HOME=folder)
        process = subprocess.run(measured([app, "--report", path, "--snapshot",
                                           os.path.join(folder, "shot.png"), "--smoke-test"]),
                                 env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        err = process.stderr.decode()
        if process.returncode != 0:
            sys.exit(f"the application failed: {err}")
        return int(re.findall(r"peak_kib=(\d+)", err)[-1]) / 1024


def main():
    parser = argparse.ArgumentParser()
    here = os.path.dirname(__file__)
    parser.add_argument("scan_site", nargs="?",
                        default=os.path.join(here, "..", "build", "bench", "scan_site"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--app", default=os.path.join(here, "..", "build", "src", "app", "quorilanth"))
    parser.add_argument("--only", choices=("small", "large", "catalog"))
    args = parser.parse_args()

    if args.only in (None, "small"):
        small_figures(args)
    if args.only in (None, "large"):
        for kind in ("text", "json"):
            large = FixtureServer(large_site(kind))
            try:
                r = run_scan(args.scan_site, large.origin)
            finally:
                large.close()
            body_mib = large.body_bytes / (1024 * 1024)
            print(f"large {kind} site: {LARGE_DOCS} documents, bodies {body_mib:.1f} MiB, "
                  f"locations={r['locations']} exchanges={r['exchanges']}: peak RSS {r['peak_mib']:.1f} MiB = "
                  f"{r['peak_mib'] / body_mib:.2f}x the body bytes (target < 3x); "
                  f"during the scan {r['scan_peak_mib']:.1f} MiB = {r['scan_peak_mib'] / body_mib:.2f}x")
    if args.only in (None, "catalog"):
        site = FixtureServer(catalog_site)
        try:
            r = run_scan(args.scan_site, site.origin)
        finally:
            site.close()
        body_mib = site.body_bytes / (1024 * 1024)
        app_mib = run_app(args.app, r["report"]) if os.path.exists(args.app) else None
        ratio = lambda mib: f"{mib:.1f} MiB = {mib / body_mib:.2f}x"
        print(f"catalog site: {LARGE_DOCS} catalogs of {CATALOG_ITEMS} objects, bodies {body_mib:.1f} MiB, "
              f"locations={r['locations']} exchanges={r['exchanges']}, report {len(r['report']) / 2**20:.1f} MiB "
              f"(targets <= 3x the body bytes)")
        print(f"catalog site: scan_site peak during the scan {ratio(r['scan_peak_mib'])}, "
              f"at its end {ratio(r['peak_mib'])}; application with the report open "
              + (ratio(app_mib) if app_mib else "not measured (no application at " + args.app + ")"))


def small_figures(args):
    small = FixtureServer(small_site)
    try:
        runs = [run_scan(args.scan_site, small.origin) for _ in range(args.runs)]
    finally:
        small.close()
    for r in runs:
        floor = (r["exchanges"] - 1) * PACING_S
        r["ratio"] = r["elapsed_s"] / floor
    best = min(runs, key=lambda r: r["ratio"])
    ratios = ", ".join(f"{r['ratio']:.3f}" for r in runs)
    print(f"small site: locations={best['locations']} exchanges={best['exchanges']} "
          f"elapsed={best['elapsed_s']:.3f}s floor={(best['exchanges'] - 1) * PACING_S:.3f}s "
          f"ratio={best['ratio']:.3f} (runs: {ratios}; target <= 1.10) "
          f"score={best['score']}")
    print(f"small site: peak RSS {max(r['peak_mib'] for r in runs):.1f} MiB (target < 30 MiB)")


if __name__ == "__main__":
    main()
