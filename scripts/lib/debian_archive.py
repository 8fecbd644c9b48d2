#!/usr/bin/env python3
"""Prints the Debian archive address and keyring this machine's apt uses.

The address is read from the machine's own apt sources (deb822 .sources files
and one-line .list files), so no archive host name is written anywhere in the
project. Output: two lines, the URI and the keyring path (empty if none).
"""
import glob
import re
import sys


def codename():
    try:
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("VERSION_CODENAME="):
                    return line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return "bookworm"


def deb822_entries(path):
    with open(path) as f:
        text = f.read()
    for block in re.split(r"\n\s*\n", text):
        fields = {}
        for line in block.splitlines():
            if line.startswith("#") or ":" not in line or line[0].isspace():
                continue
            key, value = line.split(":", 1)
            fields[key.strip().lower()] = value.strip()
        if "uris" in fields and fields.get("enabled", "yes").lower() != "no":
            yield {
                "types": fields.get("types", "").split(),
                "uris": fields["uris"].split(),
                "suites": fields.get("suites", "").split(),
                "signed_by": fields.get("signed-by", ""),
            }


def one_line_entries(path):
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            m = re.match(r"^(deb|deb-src)\s+(\[[^\]]*\]\s+)?(\S+)\s+(\S+)", line)
            if not m:
                continue
            options = m.group(2) or ""
            signed = re.search(r"signed-by=(\S+)", options)
            yield {
                "types": [m.group(1)],
                "uris": [m.group(3)],
                "suites": [m.group(4)],
                "signed_by": signed.group(1).rstrip("]") if signed else "",
            }


def main():
    wanted = codename()
    entries = []
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
        try:
            entries += list(deb822_entries(path))
        except OSError as error:
            print(f"cannot read {path}: {error.strerror}", file=sys.stderr)
    for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
        try:
            entries += list(one_line_entries(path))
        except OSError:
            pass
    for entry in entries:
        if wanted in entry["suites"] and "deb" in entry["types"]:
            keyring = entry["signed_by"]
            if not keyring or not keyring.startswith("/"):
                keyring = "/usr/share/keyrings/debian-archive-keyring.gpg"
            print(entry["uris"][0])
            print(keyring)
            return 0
    print(f"no enabled \"deb\" apt source for the suite {wanted} found in /etc/apt/sources.list or "
          "/etc/apt/sources.list.d/", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
