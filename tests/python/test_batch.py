import csv
import os
import shutil

import pytest

from vrml import batch
from conftest import CORPUS, example, run_tool

distributed = pytest.importorskip("distributed")


def scenes_to_convert(tmp_path):
    """The shared corpus when it is there, else the sample scenes and two files that cannot be converted."""
    if os.path.isdir(CORPUS):
        return CORPUS
    folder = tmp_path / "inputs"
    folder.mkdir()
    for name in ("house.wrl", "robot_arm.wrl", "terrain.wrl", "prototypes.wrl"):
        shutil.copy(example(name), folder / name)
    (folder / "notes.wrl").write_text("not a scene\n")
    (folder / "empty.wrl").write_text("#VRML V2.0 utf8\n")
    return str(folder)


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    # The workers' scratch space goes with the test's other files, not in the temporary folder.
    space = str(tmp_path_factory.mktemp("dask"))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  local_directory=space) as c:
        with distributed.Client(c) as client:
            yield client


def test_a_cluster_converts_what_the_tool_converts_and_a_rerun_skips(tmp_path, cluster):
    inputs = scenes_to_convert(tmp_path)
    files = batch.expand_inputs(inputs)
    assert files
    # What the tool converts, file by file, as the reference.
    tool_out = tmp_path / "tool"
    run = run_tool("convert", "-q", "-o", str(tool_out), *files)
    failed_by_tool = {line[len("vrml: "):].split(": ")[0] for line in run.stderr.splitlines()
                      if line.startswith("vrml: ")}
    rows = batch.convert_all(inputs, tmp_path / "out", client=cluster, csv_path=tmp_path / "report.csv")
    assert [r["file"] for r in rows] == files
    for row in rows:
        assert row["status"] == ("failed" if row["file"] in failed_by_tool else "converted"), row
        if row["status"] == "failed":
            assert row["reason"]
    produced = sorted(p for p in os.listdir(tmp_path / "out"))
    assert not any(p.startswith(".vrml-part-") for p in produced)  # no partial file stands anywhere
    with open(tmp_path / "report.csv", newline="") as report:
        assert [r["file"] for r in csv.DictReader(report)] == files
    again = batch.convert_all(inputs, tmp_path / "out", client=cluster)
    assert {r["status"] for r in again if r["file"] not in failed_by_tool} <= {"skipped"}


@pytest.mark.parametrize("on_cluster", [False, True])
def test_a_lost_worker_fails_its_file_only(tmp_path, cluster, on_cluster):
    import batch_tasks
    folder = tmp_path / "inputs"
    folder.mkdir()
    for name in ("house.wrl", "robot_arm.wrl", "terrain.wrl"):
        shutil.copy(example(name), folder / name)
    (folder / "robot_arm.wrl.crash").write_text("")  # its worker exits in the middle of it
    if on_cluster:
        import dask
        with dask.config.set({"distributed.scheduler.allowed-failures": 0}):
            rows = batch.convert_all(folder, tmp_path / "out", client=cluster, task=batch_tasks.crash_on_marker)
    else:
        rows = batch.convert_all(folder, tmp_path / "out", task=batch_tasks.crash_on_marker)
    status = {os.path.basename(r["file"]): (r["status"], r["reason"]) for r in rows}
    assert status["robot_arm.wrl"] == ("failed", batch.LOST_WORKER)
    assert status["house.wrl"][0] == status["terrain.wrl"][0] == "converted"
    assert sorted(os.listdir(tmp_path / "out")) == ["house.glb", "terrain.glb"]


def test_the_command_line(tmp_path):
    import subprocess
    import sys
    out = subprocess.run([sys.executable, "-m", "vrml.batch", example("house.wrl"), str(tmp_path / "missing.wrl"),
                          "-o", str(tmp_path / "out"), "--format", "obj"], capture_output=True, text=True, timeout=300)
    assert out.returncode == 1, out.stderr
    assert "1 converted, 0 skipped, 1 failed" in out.stdout
    assert "missing.wrl: no such file" in out.stderr
    assert sorted(os.listdir(tmp_path / "out")) == ["house.mtl", "house.obj"]
