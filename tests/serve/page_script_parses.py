#!/usr/bin/env python3
"""veldra_serve's page: its script parses (node --check), and it names no
address outside the server. Usage: page_script_parses.py NODE PAGE_HTML"""
import subprocess
import sys
import tempfile

node, page = sys.argv[1], sys.argv[2]
html = open(page, encoding="utf-8").read()
assert "http://" not in html and "https://" not in html, "the page names an address outside the server"
start = html.index("<script>\n") + len("<script>\n")
script = html[start:html.index("</script>", start)]
with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False) as f:
    f.write(script)
sys.exit(subprocess.run([node, "--check", f.name], timeout=60).returncode)
