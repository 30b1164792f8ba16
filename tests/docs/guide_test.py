#!/usr/bin/python3
"""The Japanese guide keeps step with the manual page: every switch letter of its SWITCHES
section appears in the guide as /x, and every status of its EXIT STATUS section as a row of
the guide's table of exit statuses. Usage: guide_test.py MANUAL GUIDE"""
import re, sys

manual, guide = (open(path, encoding="utf-8").read() for path in sys.argv[1:3])


def section(text, name):
    """The lines of the manual's section NAME, up to the next .SH."""
    match = re.search(rf"^\.SH {name}\n(.*?)(?=^\.SH |\Z)", text, re.M | re.S)
    return match[1].splitlines() if match else []


# ".BI /p angle", ".BI /b n \", /c\" \" n\" ...", ".B /s": the letters after a slash in bold.
letters = sorted({m for line in section(manual, "SWITCHES") if re.match(r"\.(B|BI|BR|RB) ", line)
                  for m in re.findall(r"/([a-z])\b", line)})
lines = section(manual, "EXIT STATUS")
statuses = [lines[i + 1].split()[1] for i, line in enumerate(lines[:-1])
            if line == ".TP" and re.fullmatch(r"\.B \d+", lines[i + 1])]

# The guide's table of exit statuses: the rows "| N |" after its heading that names them.
table = re.search(r"^#+ [^\n]*終了ステータス[^\n]*\n(.*?)(?=^#+ |\Z)", guide, re.M | re.S)
rows = set(re.findall(r"^\|\s*`?(\d+)`?\s*\|", table[1], re.M)) if table else set()

missing = [f"switch /{c}" for c in letters if not re.search(rf"(?<![A-Za-z])/{c}(?![A-Za-z])", guide)]
missing += [f"exit status {s}" for s in statuses if s not in rows]
if not letters or not statuses:
    missing.append("the manual's switches or exit statuses (none found: has its form changed?)")
for what in missing:
    print(f"README.ja.md lacks {what} of docs/linetilt.1", file=sys.stderr)
print(f"{len(letters)} switches, {len(statuses)} exit statuses: {len(missing)} missing")
sys.exit(1 if missing else 0)
