"""Installs a build of the game into a fresh temporary prefix, for the installation tests."""

import os
import subprocess
import tempfile


def install(cmake, build_dir):
    """Runs `cmake --install` of `build_dir` into a new directory and returns that prefix (its
    directories readable by everyone, as under /usr). Raises RuntimeError when the install fails."""
    prefix = tempfile.mkdtemp(prefix="gronka-install-")
    os.chmod(prefix, 0o755)
    result = subprocess.run([cmake, "--install", build_dir, "--prefix", prefix],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("cmake --install failed:\n" + result.stdout + result.stderr)
    return prefix
