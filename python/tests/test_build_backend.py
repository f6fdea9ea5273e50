"""The package's build backend: metadata from pyproject.toml alone, and the
editable install's path hook (sources from the tree, compiled parts from the
build directory)."""
import email.parser
import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys
import zipfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
spec = importlib.util.spec_from_file_location("keld_build", ROOT / "python" / "build_backend" / "keld_build.py")
keld_build = importlib.util.module_from_spec(spec)
spec.loader.exec_module(keld_build)

PYPROJECT = """
[project]
name = "keld"
dynamic = ["version"]
description = "A test description"
readme = "README.md"
license = {text = "MIT"}
requires-python = ">=3.10"
classifiers = ["Topic :: Scientific/Engineering :: Chemistry"]
dependencies = ["numpy", "scipy>=1"]

[project.optional-dependencies]
plots = ["matplotlib"]

[project.scripts]
keld = "keld.__main__:main"
keld-extra = "keld.extra:run"
"""


@pytest.fixture
def source(tmp_path, monkeypatch):
    (tmp_path / "pyproject.toml").write_text(PYPROJECT)
    (tmp_path / "CMakeLists.txt").write_text("project(keld VERSION 7.8.9 LANGUAGES CXX)\n")
    (tmp_path / "README.md").write_text("# keld readme body\n")
    monkeypatch.setattr(keld_build, "SOURCE", tmp_path)
    return tmp_path


def test_metadata_comes_from_pyproject(source):
    text = keld_build._metadata()
    headers = email.parser.Parser().parsestr(text)
    assert headers["Version"] == "7.8.9" and headers["Summary"] == "A test description"
    assert headers["Requires-Python"] == ">=3.10"
    assert headers.get_all("Requires-Dist") == ["numpy", "scipy>=1", 'matplotlib; extra == "plots"']
    assert headers.get_all("Provides-Extra") == ["plots"]
    assert headers.get_all("Classifier") == ["Topic :: Scientific/Engineering :: Chemistry"]
    assert text.endswith("# keld readme body\n")


def test_console_scripts_come_from_pyproject(source):
    assert keld_build._entry_points() == ("[console_scripts]\nkeld = keld.__main__:main\n"
                                          "keld-extra = keld.extra:run\n")


def test_the_repository_metadata_names_the_package_and_its_extras():
    headers = email.parser.Parser().parsestr(keld_build._metadata())
    assert headers["Name"] == "keld" and "numpy" in headers.get_all("Requires-Dist")
    assert {"tables", "plots", "cluster"} <= set(headers.get_all("Provides-Extra"))


@pytest.mark.parametrize("given", [None, "custom"])
def test_build_directory_is_outside_the_source_tree(tmp_path, monkeypatch, given):
    monkeypatch.setenv("XDG_CACHE_HOME", str(tmp_path / "cache"))
    if given:
        monkeypatch.setenv("KELD_CMAKE_BUILD_DIR", str(tmp_path / given))
    else:
        monkeypatch.delenv("KELD_CMAKE_BUILD_DIR", raising=False)
    build = keld_build._build_dir()
    assert ROOT not in build.parents
    assert build.parent == (tmp_path / "cache" / "keld" if given is None else tmp_path)


def test_editable_wheel_imports_sources_and_compiled_parts(source, tmp_path):
    sources, built = tmp_path / "tree" / "keld", tmp_path / "build" / "keld"
    sources.mkdir(parents=True)
    built.mkdir(parents=True)
    (sources / "__init__.py").write_text("from . import _core\nWHERE = 'sources'\n")
    (built / "__init__.py").write_text("WHERE = 'build tree copy'\n")
    (built / "_core.py").write_text("COMPILED = True\n")
    wheels = tmp_path / "wheels"
    wheels.mkdir()
    name = keld_build._write_wheel(wheels, keld_build.editable_files(sources, built))
    site = tmp_path / "site"
    with zipfile.ZipFile(wheels / name) as wheel:
        assert "keld-7.8.9.dist-info/RECORD" in wheel.namelist()
        wheel.extractall(site)
    probe = ("import site, sys; site.addsitedir(sys.argv[1]); import keld; "
             "print(keld.WHERE, keld._core.COMPILED, keld.__file__)")
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    done = subprocess.run([sys.executable, "-c", probe, str(site)], capture_output=True, text=True,
                          env=environment, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["sources", "True", str(sources / "__init__.py")]
