"""`python3 -m keld ...` runs the keld command with the same arguments, exit
status and output as the `keld` executable (keld --help lists the commands);
its --plot draws with the interpreter running this module unless KELD_PYTHON
names another."""
import os
import shutil
import subprocess
import sys
from pathlib import Path
from typing import List, Optional


def executable() -> str:
    """The keld command shipped inside the package, else the first `keld` on PATH."""
    import keld
    # An editable install spreads the package over the sources and the build tree.
    for directory in [*getattr(keld, "__path__", []), Path(__file__).resolve().parent]:
        bundled = Path(directory) / "_bin" / "keld"
        if bundled.is_file() and os.access(bundled, os.X_OK):
            return str(bundled)
    found = shutil.which("keld")
    if found is None:
        raise FileNotFoundError("this keld package was built without the keld command, and none is on PATH")
    return found


def main(argv: Optional[List[str]] = None) -> int:
    """Runs the keld command with `argv` (default: the command line) and returns its exit status."""
    args = sys.argv[1:] if argv is None else list(argv)
    # --plot draws with this interpreter: the environment keld runs in, not another one's matplotlib.
    environment = dict(os.environ)
    environment.setdefault("KELD_PYTHON", sys.executable)
    try:
        return subprocess.call([executable(), *args], env=environment)
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main())
