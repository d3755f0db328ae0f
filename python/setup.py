"""Builds the tavrix package: CMake compiles the extension from the engine's own sources (the
folder above this one) and generates the type stubs; setuptools packs them with the Python
files. Nothing is downloaded: CMake, a C++ compiler, pybind11-dev, python3-dev and the
engine's libraries come from Debian (tools/install-deps.sh)."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*Tavrix\s+VERSION\s+([0-9.]+)", text)
    return match.group(1) if match else "0"


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not (ROOT / "engine" / "CMakeLists.txt").is_file():
            sys.exit("tavrix: build from the repository's python/ folder (the engine's sources "
                     "are in the folder above it): pip install --no-build-isolation ./python")
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DTAVRIX_TESTS=OFF", "-DTAVRIX_DESKTOP=OFF", "-DTAVRIX_PYTHON=ON",
            "-DPython_EXECUTABLE=" + sys.executable,
        ]
        subprocess.run(configure, check=True)
        jobs = str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build), "--target", "tavrix_python_package",
                        "-j", jobs], check=True)
        package = build / "python" / "tavrix"
        built = next(package.glob("_tavrix*.so"), None)
        if built is None:
            sys.exit("tavrix: the extension was not built; is pybind11-dev installed?")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        # The stubs are generated from the engine's member table beside the extension.
        shutil.copyfile(package / "__init__.pyi", target.parent / "__init__.pyi")


setup(
    name="tavrix",
    version=project_version(),
    description="Page numbers, Bates numbers and short labels on existing PDF files",
    packages=["tavrix"],
    package_data={"tavrix": ["py.typed", "__init__.pyi"]},
    ext_modules=[CMakeExtension("tavrix._tavrix")],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    zip_safe=False,
)
