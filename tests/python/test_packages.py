"""The installed packages: `cmake --install` and `pip install .`, each imported by the interpreter the module is
built for from a fresh, isolated process that sees only the install (never the build tree)."""
import os, pathlib, subprocess, sys

import pytest

BUILD, SOURCE = pathlib.Path(os.environ["DIRIRA_BUILD_DIR"]), pathlib.Path(os.environ["DIRIRA_SOURCE_DIR"])
LIBRARIES = ["afx", "win32", "zirdib", "zircim", "zirime", "dirira"]
SAMPLE = SOURCE / "samples" / "starfield-colour.bmp"


def run(*args, **kwargs):
    return subprocess.run([*map(str, args)], capture_output=True, text=True, check=True, **kwargs).stdout


def import_from(site, cwd):
    """What an isolated interpreter (python3 -I: no PYTHONPATH, no user site, no current folder) reads through the
    package found in `site` alone."""
    script = (f"import site; site.addsitedir({str(site)!r}); import dirira; "
              f"print(dirira.__file__); print(dirira.read({str(SAMPLE)!r}).data.shape)")
    env = {"PATH": os.environ["PATH"]}
    return run(sys.executable, "-I", "-c", script, cwd=cwd, env=env).splitlines()


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    prefix = tmp_path_factory.mktemp("prefix")
    run(os.environ["CMAKE_COMMAND"], "--install", BUILD, "--prefix", prefix)
    return prefix


def test_cmake_install_is_imported_from_the_prefix(prefix, tmp_path):
    site = prefix / os.environ["DIRIRA_PYTHON_SITE_DIR"]
    assert import_from(site, tmp_path) == [str(site / "dirira" / "__init__.py"), "(3, 192, 256)"]


@pytest.mark.parametrize("name", LIBRARIES + ["dirira_files"])
def test_every_installed_library_has_a_versioned_soname(prefix, name):
    library = prefix / os.environ["DIRIRA_LIBDIR"] / f"lib{name}.so"
    dynamic = run("readelf", "-d", library)
    assert f"Library soname: [lib{name}.so.2]" in dynamic
    assert library.resolve() == (library.parent / f"lib{name}.so.2").resolve()


def test_pip_install_is_imported_from_its_target(tmp_path):
    target = tmp_path / "target"
    run(sys.executable, "-m", "pip", "install", "--quiet", "--no-build-isolation", "--no-deps", "--no-index",
        "--no-cache-dir", "--target", target, SOURCE)
    assert import_from(target, tmp_path) == [str(target / "dirira" / "__init__.py"), "(3, 192, 256)"]
    assert sorted(path.name for path in (target / "dirira.libs").iterdir()) == sorted(
        f"lib{name}.so.2" for name in LIBRARIES)
