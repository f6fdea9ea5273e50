"""The documentation tools: the Doxygen input filter that turns the headers'
plain comments into descriptions, and the tutorial runner's block finder."""
import importlib.util
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def load(name):
    spec = importlib.util.spec_from_file_location(name, ROOT / "scripts" / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


doxygen_filter = load("doxygen_filter")
tutorials = load("tutorials")


def filtered(tmp_path, capsys, text):
    header = tmp_path / "h.hpp"
    header.write_text(text)
    doxygen_filter.main(str(header))
    return capsys.readouterr().out.split("\n")


@pytest.mark.parametrize("line, expected", [
    ("// R in J/(kmol K).", "/// R in J/(kmol K)."),
    ("    // indented block", "    /// indented block"),
    ("/// already a description", "/// already a description"),
    ("    double mw = 0.0;  // kg/kmol", "    double mw = 0.0;  ///< kg/kmol"),
    ("    int n,  // count", "    int n,  ///< count"),
    ('const char *url = "http://x";', 'const char *url = "http://x";'),
    ('const char *s = "a; // b";', 'const char *s = "a; // b";'),
    ("// Array<T> of #items, 50 %", "/// Array\\<T\\> of \\#items, 50 \\%"),
])
def test_filter_turns_comments_into_descriptions(tmp_path, capsys, line, expected):
    out = filtered(tmp_path, capsys, "#pragma once\n" + line + "\n")
    assert out[1] == expected


@pytest.mark.parametrize("opening", ["// keld/x.h - what it is\n// more\n", "/*\n * keld/x.h - what it is\n * more\n */\n"])
def test_filter_makes_the_opening_comment_the_file_description(tmp_path, capsys, opening):
    out = filtered(tmp_path, capsys, opening + "#pragma once\nint f();\n")
    assert out[0].startswith("/** \\file") and out[opening.count("\n") - 1].endswith("*/")
    assert any("keld/x.h - what it is" in line for line in out)
    # The code stays, on its own line number, so that warnings point at the header's lines.
    assert out.index("#pragma once") == opening.count("\n") and out.index("int f();") == opening.count("\n") + 1


def test_tutorial_blocks_are_the_runnable_ones(tmp_path):
    page = tmp_path / "t.md"
    page.write_text("# T\n\n```sh\nkeld --version\n```\n\n```text\noutput\n```\n\n```python\nprint(1)\n```\n")
    assert tutorials.blocks(page) == [("sh", "keld --version\n"), ("python", "print(1)\n")]
