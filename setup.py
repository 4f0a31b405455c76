"""Builds the extension kest._kest with CMake, and puts the element tables
into the package, for `pip install .` and `pip wheel .` (see
pyproject.toml)."""

import glob
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(kest VERSION ([0-9.]+)", f.read()).group(1)


class CMakeBuild(build_ext):
    """The extension from the project's own CMake build, its core libraries
    compiled as the programs' are."""

    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), "cmake")
        subprocess.check_call(
            [
                "cmake", "-S", ROOT, "-B", build,
                "-DKEST_TESTS=OFF", "-DKEST_BENCH=OFF", "-DKEST_PYTHON=ON",
                f"-DPython_EXECUTABLE={sys.executable}",
                # The module stripped of its debugging information.
                "-DCMAKE_MODULE_LINKER_FLAGS=-s",
            ]
        )
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 2))
        subprocess.check_call(["cmake", "--build", build, "--target", "kest_python", "-j", jobs])
        built = os.path.join(build, "python", "kest")
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        (module,) = glob.glob(os.path.join(built, "_kest*.so"))
        shutil.copyfile(module, target)
        package = os.path.dirname(target)
        shutil.copyfile(os.path.join(built, "_paths.py"), os.path.join(package, "_paths.py"))
        # The tables, found by the package beside itself.
        tables = os.path.join(package, "tables")
        os.makedirs(tables, exist_ok=True)
        for t in glob.glob(os.path.join(ROOT, "data", "*.tab")):
            shutil.copyfile(t, os.path.join(tables, os.path.basename(t)))


setup(
    version=version(),
    ext_modules=[Extension("kest._kest", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Apart from the CMake build directories of the project (build/).
    options={"build": {"build_base": "build-pip"}, "egg_info": {"egg_base": "build-pip"}},
    zip_safe=False,
)
