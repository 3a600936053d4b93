#!/usr/bin/env python3
"""Whole-scan figures for scan_site.

Serves two fixture sites on 127.0.0.1 and scans each with
`scan_site --developer-mode`:

  small  a site with the usual discovery documents; prints the wall time
         against the pacing floor ((hops - 1) x 0.12 s) as a ratio, and the
         peak resident memory of scan_site.
  large  a site whose 40 documents are each 1.9 MB; prints the peak resident
         memory against the total body bytes.

usage: scan_figures.py [path/to/scan_site] [--runs N]
"""

import argparse
import http.server
import json
import os
import re
import subprocess
import sys
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


def run_scan(scan_site, origin):
    process = subprocess.Popen([scan_site, "--developer-mode", origin + "/"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out_chunks = []
    reader = threading.Thread(target=lambda: out_chunks.append(process.stdout.read()))
    reader.start()
    err = process.stderr.read().decode()
    reader.join()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"scan_site failed ({process.returncode}): {err}")
    lines = err.strip().splitlines()
    figures = dict(re.findall(r"(\w+)=(-?\d+)", lines[-2] + " " + lines[-1]))
    report = json.loads(out_chunks[0])
    return {
        "elapsed_s": int(figures["elapsed_ms"]) / 1000,
        "exchanges": int(figures["exchanges"]),
        "locations": int(figures["locations"]),
        "peak_mib": usage.ru_maxrss / 1024,
        "scan_peak_mib": int(figures["scan_peak_kib"]) / 1024,
        "score": sum(c["points"] for c in report["checks"] if c["passed"]),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scan_site", nargs="?",
                        default=os.path.join(os.path.dirname(__file__), "..", "build", "bench", "scan_site"))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

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

if __name__ == "__main__":
    main()
