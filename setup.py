"""pip install . : the Python module wdist and the program wdist, both built by
the project's CMake build (Release), into the active Python environment.

The module is the extension wdist (python/module.cpp); the program is the
wheel's script wdist, the binary itself. Offline, with Debian's
python3-setuptools, python3-wheel, cmake, ninja-build and pybind11-dev:

    python3 -m venv --system-site-packages VENV
    VENV/bin/pip install --no-build-isolation .

CMAKE_ARGS (split like a shell's words) adds to the configure step, e.g.
CMAKE_ARGS="-DWDIST_MPI=ON" for the program over MPI.
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

try:
    from setuptools.command.build_scripts import build_scripts
except ImportError:  # setuptools before 69 (Debian 12): its own copy of distutils'
    from distutils.command.build_scripts import build_scripts

ROOT = Path(__file__).resolve().parent


def project_version():
    # The one version of the project is CMakeLists.txt's.
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(wdist VERSION ([0-9.]+)", text).group(1)


def cmake_build(command):
    """Configures and builds the module and the program once per setup run, in
    the build folder of the given command; returns that CMake build folder."""
    build_ext_command = command.get_finalized_command("build_ext")
    folder = Path(build_ext_command.build_temp).resolve() / "cmake"
    if getattr(build_ext_command, "cmake_built", False):
        return folder
    cmake = shutil.which("cmake")
    if not cmake:
        sys.exit("wdist: building needs cmake (Debian: scripts/install-deps.sh pip)")
    configure = [cmake, "-S", str(ROOT), "-B", str(folder),
                 "-DCMAKE_BUILD_TYPE=Release", "-DWDIST_BUILD_TESTS=OFF", "-DWDIST_PYTHON=ON",
                 f"-DPython3_EXECUTABLE={sys.executable}"]
    if shutil.which("ninja") and not (folder / "CMakeCache.txt").exists():
        configure += ["-G", "Ninja"]
    # pybind11 from a registry (the declared build requirement) brings its
    # CMake files; without it CMake finds Debian's pybind11-dev.
    try:
        import pybind11
        if Path(pybind11.get_cmake_dir()).is_dir():
            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
    except ImportError:
        pass
    configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
    subprocess.run(configure, check=True)
    build = [cmake, "--build", str(folder), "--target", "wdist_python", "wdist_cli"]
    if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
        build += ["--parallel", str(os.cpu_count() or 1)]
    subprocess.run(build, check=True)
    build_ext_command.cmake_built = True
    return folder


class BuildModule(build_ext):
    def build_extension(self, ext):
        folder = cmake_build(self)
        built = sorted((folder / "python").glob("wdist*.so"))
        if len(built) != 1:
            sys.exit(f"wdist: expected one module wdist*.so in {folder / 'python'}, found {len(built)}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


class BuildProgram(build_scripts):
    """The program wdist as the wheel's script: the binary, copied as it is
    (the stock command reads scripts as Python text)."""

    def get_source_files(self):
        return []

    def run(self):
        folder = cmake_build(self)
        Path(self.build_dir).mkdir(parents=True, exist_ok=True)
        target = Path(self.build_dir) / "wdist"
        shutil.copyfile(folder / "wdist", target)
        target.chmod(0o755)


setup(
    version=project_version(),
    ext_modules=[Extension("wdist", sources=[])],
    scripts=["wdist"],
    packages=[],
    py_modules=[],
    cmdclass={"build_ext": BuildModule, "build_scripts": BuildProgram},
    # Beside, not inside, the CMake build folder build/ of the README.
    options={"build": {"build_base": "build-pip"}},
)
