#!/usr/bin/env python3
"""The manifest reference cannot drift from the maker: every manifest it shows is
the file in examples/ that it names (byte for byte), every file there is shown, and
the maker builds each one (with the -D values its marker names, each then found in
what inspect prints), or refuses it with exactly the error shown below it.
Usage: docs_test.py DOCS_DIR MAKER STUB WORKDIR"""
import os
import re
import shutil
import subprocess
import sys

docs, maker, stub, work = map(os.path.abspath, sys.argv[1:5])
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def fenced_blocks(lines, start):
    """The fenced blocks from line start on: (language, text, line after it)."""
    i = start
    while i < len(lines):
        m = re.match(r"```(\w*)$", lines[i])
        if m:
            end = lines.index("```", i + 1)
            yield m.group(1), "".join(l + "\n" for l in lines[i + 1:end]), end + 1
            i = end
        elif lines[i].strip():
            return
        i += 1


with open(os.path.join(docs, "manifest.md"), encoding="utf-8") as f:
    lines = f.read().split("\n")

shown = {}  # example path -> (refused, error text shown or None, -D arguments)
for i, line in enumerate(lines):
    m = re.fullmatch(r"<!-- example: (\S+)( refused)?((?: -D \w+=\S*)*) -->", line)
    if m is None:
        if line == "```toml" and not lines[i - 1].startswith("<!-- example:"):
            failures.append(f"manifest.md:{i + 1}: a TOML block that names no example file")
        continue
    path, refused, defines = m.group(1), bool(m.group(2)), m.group(3).split()
    blocks = fenced_blocks(lines, i + 1)
    block = next(blocks, None)
    if block is None or block[0] != "toml":
        failures.append(f"manifest.md:{i + 1}: {path}: no TOML block follows")
        continue
    with open(os.path.join(docs, path), encoding="utf-8", newline="") as f:
        if f.read() != block[1]:
            failures.append(f"manifest.md:{i + 1}: the block shown differs from {path}")
    error = None
    if refused:
        after = next(fenced_blocks(lines, block[2]), None)
        error = after[1] if after and after[0] == "text" else None
        if error is None:
            failures.append(f"manifest.md:{i + 1}: {path} is refused, but no text block shows the error")
    shown[path] = (refused, error, defines)

files = sorted("examples/" + n for n in os.listdir(os.path.join(docs, "examples")) if n.endswith(".toml"))
for path in files:
    if path not in shown:
        failures.append(f"{path} is not shown in manifest.md")

for path, (refused, error, defines) in sorted(shown.items()):
    out = os.path.join(work, os.path.basename(path) + ".exe")
    run = subprocess.run([maker, "build", path, "-o", out, "--stub", stub, *defines], cwd=docs,
                         capture_output=True, text=True)
    if refused:
        if run.returncode == 0 or os.path.exists(out):
            failures.append(f"{path}: built, but manifest.md shows it refused")
        elif error is not None and run.stderr != error:
            failures.append(f"{path}: the maker says\n  {run.stderr}manifest.md shows\n  {error}")
        continue
    if run.returncode != 0:
        failures.append(f"{path}: not built: {run.stderr.strip()}")
        continue
    inspect = subprocess.run([maker, "inspect", out], capture_output=True, text=True)
    if inspect.returncode != 0:
        failures.append(f"{path}: inspect fails on the installer: {inspect.stderr.strip()}")
    for value in defines[1::2]:
        if value.split("=", 1)[1] not in inspect.stdout:
            failures.append(f"{path}: built with -D {value}, but inspect does not show it")
    print(f"ok   {path}")

for f in failures:
    print("FAIL " + f)
print(f"{len(shown)} examples shown, {len(files)} files, {len(failures)} failures")
sys.exit(1 if failures or not shown else 0)
