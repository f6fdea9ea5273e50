"""Build backend of the keld Python package (PEP 517).

The package is built by the project's CMake build: configure (once) in a
build directory, build the compiled module and the keld command, install the
CMake component "python" into a staging directory and zip that up as a
wheel. Only the standard library is used, so `pip install .` works with and
without build isolation and without any package index.

Environment:
  KELD_CMAKE_BUILD_DIR  an existing or new build directory to use (default:
                        build/wheel-<python tag> in the source tree); an
                        existing, configured tree is built as it is
  KELD_CMAKE_ARGS       extra arguments for the configure step
  CMAKE_BUILD_PARALLEL_LEVEL  build jobs (default 2)
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


def _metadata():
    pyproject = (SOURCE / "pyproject.toml").read_text()
    description = re.search(r'^description\s*=\s*"([^"]*)"', pyproject, re.M).group(1)
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {NAME}",
        f"Version: {project_version()}",
        f"Summary: {description}",
        "License: MIT",
        "Classifier: License :: OSI Approved :: MIT License",
        "Classifier: Programming Language :: C++",
        "Classifier: Programming Language :: Python :: 3",
        "Classifier: Topic :: Scientific/Engineering :: Chemistry",
        "Requires-Python: >=3.9",
        "Requires-Dist: numpy",
        "Provides-Extra: tables",
        'Requires-Dist: pandas; extra == "tables"',
        "Provides-Extra: plots",
        'Requires-Dist: matplotlib; extra == "plots"',
        "Provides-Extra: cluster",
        'Requires-Dist: dask; extra == "cluster"',
        'Requires-Dist: distributed; extra == "cluster"',
        "Description-Content-Type: text/markdown",
    ]
    readme = SOURCE / "README.md"
    body = readme.read_text() if readme.exists() else ""
    return "\n".join(lines) + "\n\n" + body


def _dist_info_files(tag):
    version = project_version()
    files = {
        "METADATA": _metadata(),
        "WHEEL": f"Wheel-Version: 1.0\nGenerator: keld_build {version}\nRoot-Is-Purelib: false\nTag: {tag}\n",
        "entry_points.txt": "[console_scripts]\nkeld = keld.__main__:main\n",
    }
    license_file = SOURCE / "LICENSE"
    if license_file.exists():
        files["LICENSE"] = license_file.read_text()
    return files


def _run(command, **kwargs):
    print("keld_build:", " ".join(shlex.quote(str(c)) for c in command), file=sys.stderr, flush=True)
    subprocess.run([str(c) for c in command], check=True, **kwargs)


def _build_dir():
    given = os.environ.get("KELD_CMAKE_BUILD_DIR")
    if given:
        return Path(given).resolve()
    return SOURCE / "build" / f"wheel-{_tags()[0]}"


def _cmake_build(staging):
    """Configures (unless configured), builds and installs component python into `staging`."""
    build = _build_dir()
    if not (build / "CMakeCache.txt").exists():
        _run(["cmake", "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DKELD_BUILD_PYTHON=ON",
              "-DKELD_BUILD_TESTS=OFF", "-DKELD_BUILD_BENCH=OFF", "-DKELD_BUILD_FORTRAN=OFF",
              f"-DPython3_EXECUTABLE={sys.executable}", *shlex.split(os.environ.get("KELD_CMAKE_ARGS", ""))])
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    _run(["cmake", "--build", build, "--target", "keld_python", "-j", jobs])
    _run(["cmake", "--install", build, "--component", "python", "--prefix", staging])
    found = list(Path(staging).rglob(f"{NAME}/__init__.py"))
    if len(found) != 1:
        raise RuntimeError(f"the CMake install of component python gave {len(found)} packages")
    return found[0].parent


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def _write_wheel(wheel_directory, package_dir):
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

        for path in sorted(package_dir.rglob("*")):
            if path.is_dir() or "__pycache__" in path.parts:
                continue
            mode = 0o755 if os.access(path, os.X_OK) else 0o644
            add(f"{NAME}/{path.relative_to(package_dir).as_posix()}", path.read_bytes(), mode)
        for name, text in _dist_info_files(tag).items():
            add(f"{dist_info}/{name}", text.encode())
        records.append(f"{dist_info}/RECORD,,")
        add_record = zipfile.ZipInfo(f"{dist_info}/RECORD", date_time=(1980, 1, 1, 0, 0, 0))
        add_record.external_attr = 0o100644 << 16
        wheel.writestr(add_record, "\n".join(records) + "\n")
    return wheel_name


# --- PEP 517 hooks ---------------------------------------------------------------

def get_requires_for_build_wheel(config_settings=None):
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


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    with tempfile.TemporaryDirectory(prefix="keld-wheel-") as staging:
        return _write_wheel(wheel_directory, _cmake_build(staging))


def build_sdist(sdist_directory, config_settings=None):
    """The tracked source tree (git ls-files) as NAME-VERSION.tar.gz."""
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
        import io
        archive.addfile(info, io.BytesIO(data))
    return f"{base}.tar.gz"
