#!/usr/bin/env python3
"""Every page that a shipped page links to ([text](page.md) or a mention of
docs/page.md) ships beside it: a reader of the installed docs never meets a link to a
page they do not have.
Usage: links_test.py PAGE.md..."""
import os
import re
import sys

shipped = {os.path.basename(p): p for p in sys.argv[1:]}
failures = []
for name, path in shipped.items():
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            linked = re.findall(r"\]\(([\w.-]+\.md)(?:#[^)]*)?\)", line)
            linked += re.findall(r"\bdocs/([\w.-]+\.md)\b", line)
            for page in linked:
                if page not in shipped:
                    failures.append(f"{name}:{number}: links {page}, which does not ship beside it")
for f in failures:
    print("FAIL " + f)
print(f"{len(shipped)} shipped pages, " + ("links to unshipped pages" if failures else "every page they link to ships"))
sys.exit(1 if failures else 0)
