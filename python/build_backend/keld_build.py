"""Build backend of the keld Python package (PEP 517 and PEP 660).

The package is built by the project's CMake build: configure (once) in a
build directory outside the source tree, build only what the package needs
(the compiled module keld._core, the libraries it links and the keld
command; no tests, benchmarks or fuzzers), then
  - a wheel: install the CMake component "python" into a staging directory
    and zip that up;
  - an editable install (`pip install -e .`): a wheel holding only a path
    hook that imports keld's Python sources from this source tree and the
    compiled parts from the build directory, so edits to python/keld/*.py
    take effect at once (C++ edits: run `pip install -e .` again).
The metadata comes from pyproject.toml alone (the version from CMakeLists.txt).
Only the standard library is used, so `pip install .` works with and without
build isolation and without any package index.

Progress: CMake's output goes to standard error, which `pip install -v`
shows; a plain `pip install` hides it, so the steps and the percentage done
are also written to the terminal (/dev/tty) when there is one.

Environment:
  KELD_CMAKE_BUILD_DIR  the build directory (default: a directory per source
                        tree and interpreter under $XDG_CACHE_HOME/keld or
                        ~/.cache/keld, kept so that a reinstall rebuilds only
                        what changed); an existing, configured tree is built
                        as it is
  KELD_CMAKE_ARGS       extra arguments for the configure step
  CMAKE_BUILD_PARALLEL_LEVEL  build jobs (default: the number of processors)
  KELD_CCACHE=0         do not compile through ccache even where it is installed
"""
import base64
import hashlib
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
NAME = "keld"
# The CMake targets the package needs: the module target depends on the
# compiled core and the keld command, which pull in the libraries they link.
PACKAGE_TARGETS = ("keld_python",)


def project_version():
    """The version of project(keld VERSION x.y.z) in CMakeLists.txt."""
    text = (SOURCE / "CMakeLists.txt").read_text()
    found = re.search(r"project\s*\(\s*keld\b[^)]*?\bVERSION\s+([0-9][0-9A-Za-z.]*)", text)
    if not found:
        raise RuntimeError("CMakeLists.txt: no project(keld VERSION ...)")
    return found.group(1)


def _tags():
    python = f"cp{sys.version_info[0]}{sys.version_info[1]}"
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return python, python, platform


# --- metadata: pyproject.toml is the one place ---------------------------------

def _pyproject():
    try:
        import tomllib
    except ImportError:  # Python before 3.11
        try:
            import tomli as tomllib
        except ImportError:
            raise RuntimeError("building keld needs Python 3.11 or later (tomllib) or the tomli package")
    with open(SOURCE / "pyproject.toml", "rb") as f:
        return tomllib.load(f)["project"]


def _metadata():
    """The METADATA file (core metadata 2.1) from pyproject.toml's [project] table."""
    project = _pyproject()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project_version()}",
        f"Summary: {project['description']}",
    ]
    license = project.get("license", {})
    if "text" in license:
        lines.append(f"License: {license['text']}")
    lines += [f"Classifier: {c}" for c in project.get("classifiers", [])]
    lines += [f"Project-URL: {k}, {v}" for k, v in project.get("urls", {}).items()]
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    lines += [f"Requires-Dist: {d}" for d in project.get("dependencies", [])]
    for extra, requirements in project.get("optional-dependencies", {}).items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {r}; extra == "{extra}"' for r in requirements]
    readme = project.get("readme")
    body = ""
    if readme:
        lines.append("Description-Content-Type: text/markdown")
        path = SOURCE / readme
        body = path.read_text() if path.exists() else ""
    return "\n".join(lines) + "\n\n" + body


def _entry_points():
    scripts = _pyproject().get("scripts", {})
    if not scripts:
        return ""
    return "[console_scripts]\n" + "".join(f"{name} = {target}\n" for name, target in scripts.items())


def _dist_info_files(tag):
    version = project_version()
    files = {
        "METADATA": _metadata(),
        "WHEEL": f"Wheel-Version: 1.0\nGenerator: keld_build {version}\nRoot-Is-Purelib: false\nTag: {tag}\n",
    }
    entry_points = _entry_points()
    if entry_points:
        files["entry_points.txt"] = entry_points
    license_file = SOURCE / "LICENSE"
    if license_file.exists():
        files["LICENSE"] = license_file.read_text()
    return files


# --- the CMake build -------------------------------------------------------------

class _Progress:
    """Echoes CMake's output to stderr and the steps to the terminal, which a
    plain pip install would otherwise leave silent for minutes."""

    def __init__(self):
        self.tty = None
        self.shown = -1
        try:
            self.tty = open("/dev/tty", "w")
        except OSError:
            pass

    def say(self, text):
        if self.tty is not None:
            try:
                # On a line of its own after pip's "Building wheel ... " and its
                # spinner, which then turns at the end of this line.
                self.tty.write(f"\n    keld: {text} ")
                self.tty.flush()
            except OSError:
                self.tty = None

    def line(self, text):
        sys.stderr.write(text)
        sys.stderr.flush()
        found = re.match(r"\[\s*(\d+)%\]", text)
        if found and int(found.group(1)) // 10 > self.shown:
            self.shown = int(found.group(1)) // 10
            self.say(f"compiling, {found.group(1)}% done")

    def close(self):
        if self.tty is not None:
            self.tty.close()


def _run(command, progress):
    shown = " ".join(shlex.quote(str(c)) for c in command)
    print("keld_build:", shown, file=sys.stderr, flush=True)
    with subprocess.Popen([str(c) for c in command], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors="replace") as child:
        for text in child.stdout:
            progress.line(text)
    if child.returncode != 0:
        raise subprocess.CalledProcessError(child.returncode, shown)


def _build_dir():
    given = os.environ.get("KELD_CMAKE_BUILD_DIR")
    if given:
        return Path(given).resolve()
    # One directory per source tree and interpreter: the compiled module and
    # the recorded interpreter of `keld --plot` belong to that interpreter.
    key = hashlib.sha256(f"{SOURCE}\0{sys.executable}".encode()).hexdigest()[:12]
    cache = Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache")
    try:
        (cache / "keld").mkdir(parents=True, exist_ok=True)
    except OSError:
        cache = Path(tempfile.gettempdir())
    return cache / "keld" / f"build-{_tags()[0]}-{key}"


def _configure_args(build):
    args = ["cmake", "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DKELD_BUILD_PYTHON=ON",
            "-DKELD_BUILD_TOOLS=ON", "-DKELD_BUILD_TESTS=OFF", "-DKELD_BUILD_BENCH=OFF", "-DKELD_BUILD_FUZZ=OFF",
            "-DKELD_BUILD_FORTRAN=OFF", f"-DPython3_EXECUTABLE={sys.executable}"]
    if os.environ.get("KELD_CCACHE", "1") != "0" and shutil.which("ccache"):
        args.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    return args + shlex.split(os.environ.get("KELD_CMAKE_ARGS", ""))


def _cmake_build_tree(progress):
    """Configures (unless configured) and builds the package's targets; returns the build directory."""
    build = _build_dir()
    if not (build / "CMakeCache.txt").exists():
        progress.say(f"configuring the CMake build in {build}")
        _run(_configure_args(build), progress)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 2)
    progress.say(f"building the compiled module and the keld command ({jobs} jobs; pip -v shows the compiler)")
    _run(["cmake", "--build", build, "-j", jobs, "--target", *PACKAGE_TARGETS], progress)
    return build


def _cmake_build(staging):
    """Builds and installs component python into `staging`; returns the package directory."""
    progress = _Progress()
    try:
        build = _cmake_build_tree(progress)
        _run(["cmake", "--install", build, "--component", "python", "--prefix", staging], progress)
        progress.say("packing the wheel")
    finally:
        progress.close()
    found = list(Path(staging).rglob(f"{NAME}/__init__.py"))
    if len(found) != 1:
        raise RuntimeError(f"the CMake install of component python gave {len(found)} packages")
    return found[0].parent


# --- wheels ------------------------------------------------------------------------

def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def _write_wheel(wheel_directory, files):
    """A wheel of `files` (archive name -> (bytes, mode)) plus the dist-info."""
    python, abi, platform = _tags()
    tag = f"{python}-{abi}-{platform}"
    version = project_version()
    dist_info = f"{NAME}-{version}.dist-info"
    wheel_name = f"{NAME}-{version}-{tag}.whl"
    records = []
    with zipfile.ZipFile(Path(wheel_directory) / wheel_name, "w", zipfile.ZIP_DEFLATED) as wheel:
        def add(arcname, data, mode=0o644):
            info = zipfile.ZipInfo(arcname, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
            records.append(_record_line(arcname, data))

        for arcname, (data, mode) in files.items():
            add(arcname, data, mode)
        for name, text in _dist_info_files(tag).items():
            add(f"{dist_info}/{name}", text.encode())
        records.append(f"{dist_info}/RECORD,,")
        add_record = zipfile.ZipInfo(f"{dist_info}/RECORD", date_time=(1980, 1, 1, 0, 0, 0))
        add_record.external_attr = 0o100644 << 16
        wheel.writestr(add_record, "\n".join(records) + "\n")
    return wheel_name


def _package_files(package_dir):
    files = {}
    for path in sorted(package_dir.rglob("*")):
        if path.is_dir() or "__pycache__" in path.parts:
            continue
        mode = 0o755 if os.access(path, os.X_OK) else 0o644
        files[f"{NAME}/{path.relative_to(package_dir).as_posix()}"] = (path.read_bytes(), mode)
    return files


# The editable install's path hook: `keld` from the source tree, its compiled
# parts (_core, _version, _bin/keld) from the build tree, found through the
# package's __path__.
_EDITABLE_FINDER = '''"""Editable install of keld (pip install -e): the package from {sources}."""
import importlib.abc
import importlib.util
import sys

SOURCES = {sources!r}
BUILT = {built!r}


class KeldEditableFinder(importlib.abc.MetaPathFinder):
    def find_spec(self, name, path=None, target=None):
        if name != "keld":
            return None
        return importlib.util.spec_from_file_location(
            "keld", SOURCES + "/__init__.py", submodule_search_locations=[SOURCES, BUILT])


def install():
    if not any(isinstance(f, KeldEditableFinder) for f in sys.meta_path):
        sys.meta_path.insert(0, KeldEditableFinder())
'''


def editable_files(sources, built):
    """The files of the editable wheel: the finder module and the .pth that installs it."""
    finder = _EDITABLE_FINDER.format(sources=str(sources), built=str(built))
    return {
        "__editable___keld_finder.py": (finder.encode(), 0o644),
        "__editable__.keld.pth": (b"import __editable___keld_finder; __editable___keld_finder.install()\n", 0o644),
    }


# --- PEP 517 / PEP 660 hooks -----------------------------------------------------------

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    dist_info = Path(metadata_directory) / f"{NAME}-{project_version()}.dist-info"
    dist_info.mkdir(parents=True, exist_ok=True)
    for name, text in _dist_info_files("-".join(_tags())).items():
        if name != "WHEEL":
            (dist_info / name).write_text(text)
    return dist_info.name


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    with tempfile.TemporaryDirectory(prefix="keld-wheel-") as staging:
        return _write_wheel(wheel_directory, _package_files(_cmake_build(staging)))


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    progress = _Progress()
    try:
        build = _cmake_build_tree(progress)
    finally:
        progress.close()
    built = build / "python" / NAME
    if not (built / "__init__.py").exists():
        raise RuntimeError(f"{built}: the build tree holds no keld package")
    return _write_wheel(wheel_directory, editable_files(SOURCE / "python" / NAME, built))


def build_sdist(sdist_directory, config_settings=None):
    """The tracked source tree (git ls-files) as NAME-VERSION.tar.gz."""
    import io
    import tarfile
    version = project_version()
    base = f"{NAME}-{version}"
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=SOURCE, check=True, capture_output=True).stdout
    with tarfile.open(Path(sdist_directory) / f"{base}.tar.gz", "w:gz") as archive:
        for name in filter(None, listed.decode().split("\0")):
            if (SOURCE / name).is_file():
                archive.add(SOURCE / name, arcname=f"{base}/{name}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        archive.addfile(info, io.BytesIO(data))
    return f"{base}.tar.gz"
