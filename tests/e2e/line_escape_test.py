"""The end-to-end support's reading of the UI driver's output lines against the table
of cases that the driver's own escaping (tools/line_escape) is tested with."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_support import unescape  # noqa: E402

MARKS = {"{LF}": "\n", "{CR}": "\r", "{TAB}": "\t"}


def decode(text):
    for mark, char in MARKS.items():
        text = text.replace(mark, char)
    return text


def main(table):
    failures, count = [], 0
    for line in Path(table).read_text(encoding="utf-8").split("\n"):
        if not line or line.startswith("#"):
            continue
        use, value, written = (decode(column) for column in line.split("\t"))
        if use not in ("both", "read"):
            failures.append(f"unknown use in {line!r}")
        count += 1
        if unescape(written) != value:
            failures.append(f"unescape({written!r}) = {unescape(written)!r}, expected {value!r}")
    if count < 10:
        failures.append(f"only {count} cases in {table}")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
