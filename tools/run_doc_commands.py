#!/usr/bin/env python3
"""Runs every `keld ...` command line printed in the README and docs/.

A line of a fenced block that starts with `keld ` or `$ keld ` is run (a
trailing backslash continues it), from a scratch directory holding a copy of the
repository's examples/, so that files a command writes (plots into examples/)
never touch the source tree. A synopsis
(a line naming CASE, RANGE, FROM:TO:COUNT or offering alternatives) is not a
command and is skipped. A command must exit 0 unless its line ends in a
comment `# exit N`. A synopsis's options must be options of each command it
names (`keld bubble | dew ...`: of both). After a `$ keld ...` line, the lines up to the block's end
(or the next `$ `) are the output the command must print, byte for byte.
"""
import argparse
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

SYNOPSIS = re.compile(r"\bCASE\b|\bRANGE\b|FROM:TO:COUNT|\[|\s\|\s|\bCOMMAND\b|\bNAME\b|\bWORD\b")
EXIT = re.compile(r"#\s*exit\s+(\d+)\s*$")


class Command:
    def __init__(self, where, text, status, output, synopsis=False):
        self.where, self.text, self.status, self.output = where, text, status, output
        self.synopsis = synopsis


def fenced_blocks(path):
    """(line number, lines) of each fenced block that is not a language's code."""
    lines = path.read_text(encoding="utf-8").splitlines()
    k = 0
    while k < len(lines):
        opening = lines[k].strip()
        if opening.startswith("```"):
            language = opening[3:].strip()
            start, body = k + 1, []
            k += 1
            while k < len(lines) and not lines[k].strip().startswith("```"):
                body.append(lines[k])
                k += 1
            if language in ("", "sh", "bash", "console", "shell", "text"):
                yield start, body
        k += 1


def commands_of(path, root):
    found = []
    for start, body in fenced_blocks(path):
        k = 0
        while k < len(body):
            line = body[k]
            prompt = line.startswith("$ keld ")
            text = line[2:] if prompt else line
            if text.startswith("build/tools/keld "):
                text = text[len("build/tools/"):]
            if not (prompt or text.startswith("keld ")):
                k += 1
                continue
            where = f"{path.relative_to(root)}:{start + k + 1}"
            while text.endswith("\\") and k + 1 < len(body):
                k += 1
                text = text[:-1] + " " + body[k].strip()
            k += 1
            status = 0
            comment = EXIT.search(text)
            if comment:
                status = int(comment.group(1))
            text = text.split("#", 1)[0].strip()
            output = None
            if prompt:
                output = []
                while k < len(body) and not body[k].startswith("$ "):
                    output.append(body[k])
                    k += 1
                output = "\n".join(output) + "\n"
            found.append(Command(where, text, status, output, bool(SYNOPSIS.search(text))))
    return found


def check_synopsis(command, keld):
    """The options a synopsis shows that its commands do not take."""
    words = command.text.split()
    names = [words[1]]
    k = 2
    while k + 1 < len(words) and words[k] == "|":
        names.append(words[k + 1])
        k += 2
    options = set(re.findall(r"(?<![\w-])--[A-Za-z][\w-]*", command.text))
    faults = []
    for name in names:
        helped = subprocess.run([keld, "help", name], capture_output=True, text=True)
        if helped.returncode != 0:
            faults.append(f"'keld {name}' is no command")
            continue
        taken = set(re.findall(r"^  (--[A-Za-z][\w-]*)", helped.stdout, re.M))
        faults += [f"'keld {name}' takes no option {o}" for o in sorted(options - taken)]
    return faults


def run(command, keld, scratch):
    if command.synopsis:
        return check_synopsis(command, keld)
    words = shlex.split(command.text)
    redirect = None
    if ">" in words:
        at = words.index(">")
        redirect, words = words[at + 1], words[:at]
    result = subprocess.run([keld] + words[1:], cwd=scratch, capture_output=True, text=True, timeout=600)
    if redirect:
        (scratch / redirect).write_text(result.stdout)
    faults = []
    if result.returncode != command.status:
        faults.append(f"exit status {result.returncode}, expected {command.status}\n{result.stderr}")
    if command.output is not None and result.stdout != command.output:
        faults.append("printed\n" + result.stdout + "\ninstead of\n" + command.output)
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--keld", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--list", action="store_true", help="list the command lines only")
    args = parser.parse_args()
    root = pathlib.Path(args.root).resolve()
    documents = [root / "README.md", root / "examples" / "README.md"] + sorted((root / "docs").glob("*.md"))
    commands = [c for d in documents if d.exists() for c in commands_of(d, root)]
    if args.list:
        for c in commands:
            print(f"{c.where}: {c.text}")
        return 0
    failed = 0
    with tempfile.TemporaryDirectory() as scratch:
        scratch = pathlib.Path(scratch)
        shutil.copytree(root / "examples", scratch / "examples")
        for c in commands:
            faults = run(c, args.keld, scratch)
            print(f"{'ok  ' if not faults else 'FAIL'} {c.where}: {c.text}")
            for fault in faults:
                print("     " + fault.replace("\n", "\n     "))
            failed += bool(faults)
    print(f"{len(commands)} command lines, {failed} failed")
    return 1 if failed or not commands else 0


if __name__ == "__main__":
    sys.exit(main())
