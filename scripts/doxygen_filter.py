#!/usr/bin/env python3
"""Doxygen input filter for keld's public headers, which document themselves
in plain comments: a file's opening comment becomes its file description, a
comment block before a declaration that declaration's description, and a
comment after code on the same line a member's description. The headers stay
as they are; only what Doxygen reads changes."""
import re
import sys

TRAILING = re.compile(r"^(?P<code>\s*\S.*?;|\s*\S.*?,|\s*\S.*?\{|\s*\S.*?\))(?P<gap>\s+)//\s?(?P<text>.*)$")


def outside_strings(text, position):
    """True when `position` of `text` lies outside every string and character literal."""
    return text[:position].count('"') % 2 == 0 and text[:position].count("'") % 2 == 0


def opening_comment(lines):
    """(number of lines, text lines) of the file's leading comment, C or C++ style."""
    if lines and lines[0].lstrip().startswith("/*"):
        for end, line in enumerate(lines):
            if "*/" in line:
                body = [re.sub(r"^\s*/?\*+ ?", "", l).replace("*/", "").rstrip() for l in lines[:end + 1]]
                return end + 1, body
    count = 0
    while count < len(lines) and lines[count].lstrip().startswith("//"):
        count += 1
    return count, [re.sub(r"^\s*// ?", "", l) for l in lines[:count]]


def escape(text):
    # Words like <T>, #include, 50 % or a@b mean themselves in these comments.
    return re.sub(r"([<>#%@\\&])", r"\\\1", text)


def main(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    count, body = opening_comment(lines)
    out = []
    if count:  # as many lines as the comment, so that warnings point at the header's own lines
        out = [" * " + escape(b) for b in body]
        out[0] = "/** \\file " + escape(body[0])
        out[-1] += " */"
    for line in lines[count:]:
        stripped = line.lstrip()
        if stripped.startswith("//") and not stripped.startswith("///"):
            indent = line[:len(line) - len(stripped)]
            out.append(indent + "/// " + escape(re.sub(r"^// ?", "", stripped)))
            continue
        found = TRAILING.match(line)
        if found and "//" not in found.group("code") and outside_strings(line, found.start("gap")):
            out.append(found.group("code") + found.group("gap") + "///< " + escape(found.group("text")))
            continue
        out.append(line)
    sys.stdout.write("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1])
