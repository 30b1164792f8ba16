#!/usr/bin/python3
"""Puts the page together as one file: the HTML, its style, its script, and the worker's
script (both programs' WebAssembly and loaders, engine.js, worker.js) as text the page starts the worker from.
The Japanese guide goes in too, as HTML. Usage: build_page.py WEB_SOURCES TOOL_JS HOST_JS OUT_HTML"""
import base64, os, sys

from guide import guide_html

sources, tool, host, out = sys.argv[1:5]
# The page's own scripts, in this order: each later one may use what the earlier ones define.
# engine.js gives the page the stand-in's arguments, for the command line it shows.
PAGE = ["words.js", "engine.js", "pick.js", "page.js"]
read = lambda path: open(path, encoding="utf-8").read()
wasm = lambda script: base64.b64encode(open(script[:-3] + ".wasm", "rb").read()).decode()
modules = f'const WASM = {{ tool: "{wasm(tool)}", host: "{wasm(host)}" }};'
worker = "\n".join([modules, read(tool), read(host), read(os.path.join(sources, "engine.js")),
                    read(os.path.join(sources, "worker.js"))])
page = read(os.path.join(sources, "page.html"))
page = page.replace("<!--GUIDE-->", guide_html(read(os.path.join(sources, "..", "README.ja.md"))), 1)
for name, text in [("STYLE", read(os.path.join(sources, "page.css"))), ("WORKER", worker),
                   ("PAGE", "\n".join(read(os.path.join(sources, name)) for name in PAGE))]:
    if "</script" in text.lower() or "<!--" in text:
        sys.exit(f"build_page.py: {name} holds text that would end its script element")
    page = page.replace(f"/*{name}*/", text, 1)
with open(out + ".new", "w", encoding="utf-8") as f:
    f.write(page)
os.replace(out + ".new", out)
