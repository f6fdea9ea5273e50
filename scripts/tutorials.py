#!/usr/bin/env python3
"""Runs the command (```sh) and code (```python) blocks of docs/tutorials/*.md
with a built keld and writes the plots they draw into docs/images/tutorials/.

  scripts/tutorials.py [--build BUILD]          regenerate the plots in the tree
  scripts/tutorials.py [--build BUILD] --check  run everything in a scratch
      directory (the tree is left alone) and fail when a block fails or a
      page shows a plot that its blocks did not draw

BUILD (default build/release) is a CMake build with -DKELD_BUILD_PYTHON=ON:
its tools/keld goes first on PATH and its python/ on PYTHONPATH. Blocks run
from the repository root (or the scratch directory, which links examples/),
each page's blocks in order, Python blocks of one page in one interpreter.
"""
import argparse
import os
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[1]
PAGES = ROOT / "docs" / "tutorials"
IMAGES = "docs/images/tutorials"
BLOCK = re.compile(r"^```(sh|python)\n(.*?)^```", re.M | re.S)
IMAGE = re.compile(r"!\[[^\]]*\]\(\.\./images/tutorials/([^)]+)\)")


def blocks(page):
    """(language, text) of each runnable block of a page, in order."""
    return [(m.group(1), m.group(2)) for m in BLOCK.finditer(page.read_text())]


def environment(build):
    env = dict(os.environ)
    env["PATH"] = f"{build / 'tools'}{os.pathsep}{env.get('PATH', '')}"
    env["PYTHONPATH"] = str(build / "python")
    env["MPLBACKEND"] = "Agg"
    env.setdefault("KELD_PYTHON", sys.executable)
    return env


def run_page(page, where, env):
    """Runs the page's blocks in `where`; returns the failures as messages."""
    failures = []
    python = []
    for number, (language, text) in enumerate(blocks(page), 1):
        if language == "sh":
            done = subprocess.run(["bash", "-e", "-c", text], cwd=where, env=env, capture_output=True, text=True)
        else:
            python.append(text)
            done = subprocess.run([sys.executable, "-c", "\n".join(python)], cwd=where, env=env,
                                  capture_output=True, text=True)
        if done.returncode != 0:
            failures.append(f"{page.name}, block {number} ({language}) exited with {done.returncode}:\n"
                            f"{text}\n{done.stderr.strip()}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "release"))
    parser.add_argument("--check", action="store_true", help="run in a scratch directory, leave the tree alone")
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    if not (build / "tools" / "keld").exists():
        sys.exit(f"{build}: no tools/keld; build the targets keld_cli and keld_python first")
    env = environment(build)
    pages = sorted(p for p in PAGES.glob("*.md") if p.name != "README.md")
    failures = []
    with tempfile.TemporaryDirectory(prefix="keld-tutorials-") as scratch:
        where = pathlib.Path(scratch) if args.check else ROOT
        if args.check:
            (where / "examples").symlink_to(ROOT / "examples")
        (where / IMAGES).mkdir(parents=True, exist_ok=True)
        for page in pages:
            # Python blocks of a page build on each other; an earlier page's plots must not count.
            for image in IMAGE.findall(page.read_text()):
                if args.check:
                    (where / IMAGES / image).unlink(missing_ok=True)
            page_failures = run_page(page, where, env)
            failures += page_failures
            for image in IMAGE.findall(page.read_text()):
                if not (where / IMAGES / image).exists():
                    failures.append(f"{page.name} shows {image}, which its blocks did not draw")
            print(f"{page.name}: {len(blocks(page))} blocks, {'failed' if page_failures else 'ok'}")
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
