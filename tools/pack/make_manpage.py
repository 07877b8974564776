#!/usr/bin/env python3
"""Writes the man page talvenor-pack.1 from the maker's own --help texts, so the two
cannot differ. Usage: make_manpage.py MAKER VERSION OUT"""
import re
import subprocess
import sys


def help_text(maker, *args):
    out = subprocess.run([maker, *args, "--help"], check=True, capture_output=True, text=True).stdout
    return out.replace("\r", "")


def parse(text):
    """CLI11's help: a description line, "Usage: PROGRAM [COMMAND] ARGS", sections of
    entries (two spaces, the name, two or more spaces, the description; a long name puts
    its description on the next line, further in) and a footer of paragraphs."""
    lines = text.split("\n")
    page = {"description": lines[0].strip(), "usage": [], "sections": {}, "footer": [""]}
    section = None
    for line in lines[1:]:
        if line.startswith("Usage: "):
            page["usage"] = line.split()[2:]
        elif re.fullmatch(r"[A-Z][a-z]+:", line):
            section = page["sections"].setdefault(line[:-1], [])
        elif line.startswith("    ") and section:
            section[-1][1] = (section[-1][1] + " " + line.strip()).strip()
        elif re.match(r"  \S", line) and section is not None and page["footer"] == [""]:
            name, desc = re.match(r"  (\S.*?)(?:\s{2,}(.*))?$", line).group(1, 2)
            section.append([name, desc or ""])
        elif line.strip() and section is not None:
            page["footer"][-1] += " " + line.strip()
        elif page["footer"][-1]:
            page["footer"].append("")
    page["footer"] = [p.strip() for p in page["footer"] if p.strip()]
    return page


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return ("\\&" + text) if text[:1] in (".", "'") else text


def entry(name, desc):
    # "-o,--output TEXT REQUIRED": the names bold, the rest as written.
    names, _, rest = name.partition(" ")
    head = ", ".join("\\fB" + roff(n) + "\\fR" for n in names.split(","))
    return [".TP", head + (" " + roff(rest) if rest else ""), roff(desc)]


def main():
    maker, version, out = sys.argv[1:4]
    top = parse(help_text(maker))
    name, _, summary = top["description"].partition(": ")
    commands = [(cmd, parse(help_text(maker, cmd))) for cmd, _ in top["sections"].get("Subcommands", [])]
    if not commands:
        sys.exit("make_manpage.py: no subcommands in the maker's --help")
    page = [f'.TH TALVENOR-PACK 1 "" "talvenor-pack {roff(version)}" "User Commands"',
            ".nh", ".SH NAME", f"{roff(name)} \\- {roff(summary)}", ".SH SYNOPSIS"]
    for cmd, sub in commands:
        args = sub["usage"][1:] if sub["usage"][:1] == [cmd] else sub["usage"]
        page += [".br", f"\\fB{roff(name)} {roff(cmd)}\\fR {roff(' '.join(args))}"]
    page += [".br", f"\\fB{roff(name)}\\fR \\-\\-version | \\-\\-help", ".SH OPTIONS"]
    for opt, desc in top["sections"].get("Options", []):
        page += entry(opt, desc)
    page.append(".SH COMMANDS")
    for cmd, sub in commands:
        page += [f".SS {roff(cmd)}", roff(sub["description"]) + "."]
        for section in ("Positionals", "Options"):
            for opt, desc in sub["sections"].get(section, []):
                if opt != "-h,--help":
                    page += entry(opt, desc)
    page.append(".SH NOTES")
    for paragraph in top["footer"]:
        page += [".PP", roff(paragraph)]
    page += [".SH EXIT STATUS", "0 on success. Otherwise not 0, and each error is one line on standard error",
             "naming the file (and the manifest line) it is about.",
             ".SH SEE ALSO", "The manifest reference,", ".IR " + roff("/usr/share/doc/talvenor-pack/manifest.md") + " ,",
             "and its examples in", ".IR " + roff("/usr/share/doc/talvenor-pack/examples/") + " ."]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(page) + "\n")


main()
