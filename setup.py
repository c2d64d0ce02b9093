"""The Python module's extension is built by the project's CMake build, not
by setuptools: it links the C++ libraries, which the package then carries
in dirira.libs/ beside itself (the extension finds them through its
run-time path)."""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
VERSION = re.search(r"project\(dirira VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())[1]
# Build products stay under build/, which the project ignores, not beside the sources.
BUILD_BASE = ROOT / "build" / "python-package"
BUILD_BASE.mkdir(parents=True, exist_ok=True)  # egg_info wants its folder to exist


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        tree = pathlib.Path(self.build_temp).resolve() / "cmake"
        out = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve().parents[1]
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(tree), *generator, "-DCMAKE_BUILD_TYPE=Release",
                        "-DDIRIRA_BUILD_TESTS=OFF", "-DDIRIRA_BUILD_TOOLS=OFF",
                        f"-DPython3_EXECUTABLE={sys.executable}", "-DDIRIRA_PYTHON_SITE_DIR=.",
                        "-DCMAKE_INSTALL_LIBDIR=dirira.libs"], check=True)
        subprocess.run(["cmake", "--build", str(tree), "--target", "_dirira"], check=True)
        for component in ("runtime", "python"):
            subprocess.run(["cmake", "--install", str(tree), "--component", component, "--prefix", str(out)],
                           check=True)
        keep_one_file_per_library(out / "dirira.libs")


def keep_one_file_per_library(folder):
    """A wheel stores links as copies: each library is kept once, under its soname, the name the loader asks for."""
    for link in [path for path in folder.iterdir() if path.is_symlink()]:
        os.replace(link.resolve(), link)


setup(version=VERSION, ext_modules=[Extension("dirira._dirira", sources=[])], cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": str(BUILD_BASE)}, "egg_info": {"egg_base": str(BUILD_BASE)}})
