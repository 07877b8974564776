#!/usr/bin/env python3
"""A signed installer is read as the unsigned one: built, then signed with osslsigncode
and a throwaway self-signed certificate, its signature verifies against that
certificate, taken off again it leaves the maker's output, and inspect and extract give
the same output and bytes as before signing; with --try, `talvenor-pack try` passes it
too. A signed stub is refused by build, which is why signing comes last.
Usage: sign_test.py MAKER STUB MANIFEST WORKDIR [--try]"""
import filecmp
import os
import shutil
import subprocess
import sys

maker, stub, manifest, work = map(os.path.abspath, sys.argv[1:5])
with_try = sys.argv[5:] == ["--try"]
if not os.access(maker, os.X_OK):
    print(f"SKIP the maker {maker} is not built")
    sys.exit(77)
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
os.chdir(work)
failures = []


def run(*args):
    return subprocess.run(args, capture_output=True, text=True)


def check(ok, what, detail=""):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)
        print("     " + detail.strip().replace("\n", "\n     "))


def sign(unsigned, signed):
    return run("osslsigncode", "sign", "-certs", "cert.pem", "-key", "key.pem", "-n", "Talvenor",
               "-h", "sha256", "-in", unsigned, "-out", signed)


def same_tree(a, b):
    """Every file of a is in b with the same bytes, and nothing else is."""
    c = filecmp.dircmp(a, b)
    _, mismatch, errors = filecmp.cmpfiles(a, b, c.common_files, shallow=False)
    return (not c.left_only and not c.right_only and not mismatch and not errors and
            all(same_tree(os.path.join(a, d), os.path.join(b, d)) for d in c.common_dirs))


r = run(maker, "build", manifest, "-o", "setup.exe", "--stub", stub, "-q")
check(r.returncode == 0, "the installer is built", r.stderr)
r = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem",
        "-days", "2", "-subj", "/CN=Talvenor throwaway signer")
check(r.returncode == 0, "a throwaway certificate is made", r.stderr)
r = sign("setup.exe", "signed.exe")
check(r.returncode == 0, "osslsigncode signs the installer", r.stdout + r.stderr)
# Self-signed: the certificate itself is the trusted root, so this checks the signature
# and the file's hash, not a chain to a public root.
r = run("osslsigncode", "verify", "-CAfile", "cert.pem", "-in", "signed.exe")
check(r.returncode == 0 and "Signature verification: ok" in r.stdout, "the signature verifies", r.stdout + r.stderr)

r = run("osslsigncode", "remove-signature", "-in", "signed.exe", "-out", "removed.exe")
check(r.returncode == 0 and filecmp.cmp("removed.exe", "setup.exe", shallow=False),
      "without its signature it is the maker's output byte for byte", r.stdout + r.stderr)

unsigned, signed = run(maker, "inspect", "setup.exe"), run(maker, "inspect", "signed.exe")
check(signed.returncode == 0 and signed.stdout == unsigned.stdout and "files:" in signed.stdout,
      "inspect prints the same for the signed installer", signed.stderr)
unsigned, signed = (run(maker, "extract", exe, "-o", out) for exe, out in
                    (("setup.exe", "unsigned"), ("signed.exe", "signed")))
check(signed.returncode == 0 and signed.stdout.replace("signed", "unsigned", 1) == unsigned.stdout and
      same_tree("unsigned", "signed") and os.listdir("signed"),
      "extract writes the same files from the signed installer", signed.stdout + signed.stderr)

sign(stub, "signed-stub.exe")
r = run(maker, "build", manifest, "-o", "on-signed-stub.exe", "--stub", "signed-stub.exe")
check(r.returncode == 1 and "is signed" in r.stderr and not os.path.exists("on-signed-stub.exe"),
      "build refuses a signed stub and writes nothing", r.stderr)

if with_try:
    # In a virtual display of its own, as in a pipeline.
    os.environ.pop("DISPLAY", None)
    r = run(maker, "try", "signed.exe", "--json", "try.json")
    check(r.returncode == 0 and "PASS:" in r.stdout, "try passes the signed installer", r.stdout + r.stderr)

print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
