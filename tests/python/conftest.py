import os
import subprocess
import sys

import pytest

SOURCE = os.environ.get("VRML_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
CORPUS = os.environ.get("VRML_CORPUS_DIR", os.path.join(SOURCE, "..", "shared", "corpus"))
TOOL = os.environ.get("VRML_TOOL", "vrml")
# Workers of a local cluster import the test tasks from here.
sys.path.insert(0, os.path.dirname(__file__))
os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.dirname(__file__), os.environ.get("PYTHONPATH")]))


def example(name):
    return os.path.join(SOURCE, "examples", name)


def run_tool(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=600)


@pytest.fixture
def write(tmp_path):
    def write_file(name, text):
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text.encode() if isinstance(text, str) else text)
        return path
    return write_file
