import gc
import gzip
import re
import threading

import numpy as np
import pytest

import vrml
import vrml.batch
from conftest import example, run_tool

BOX = "#VRML V2.0 utf8\nTransform { translation 100 0 0 children Shape { geometry Box { size 20 40 60 } } }\n"


def info_figures(path, *args):
    text = run_tool("info", *args, path).stdout
    triangles = int(re.search(r"triangles:\s+(\d+)", text).group(1))
    box = re.search(r"bounding box: \(([^)]*)\) to \(([^)]*)\)", text)
    low, high = ([float(v) for v in g.split(",")] for g in box.groups())
    return triangles, np.array(low), np.array(high)


@pytest.mark.parametrize("name", ["house.wrl", "robot_arm.wrl", "terrain.wrl", "prototypes.wrl", "gallery.wrl"])
def test_arrays_agree_with_the_tool(name):
    scene = vrml.load(example(name))
    assert scene.result == 0
    triangles, low, high = info_figures(example(name))
    mesh = scene.triangles(units="loaded")
    n = len(mesh["indices"])
    assert n == triangles
    assert mesh["positions"].shape == (3 * n, 3) and mesh["positions"].dtype == np.float32
    assert mesh["normals"].shape == (3 * n, 3) and mesh["colors"].shape == (3 * n, 4) and mesh["uv"].shape == (3 * n, 2)
    assert mesh["indices"].dtype == np.uint32 and mesh["object"].shape == (n,)
    assert np.array_equal(mesh["indices"].ravel(), np.arange(3 * n))
    # Every object of the walk is numbered, in the walk's order.
    objects = sum(len(g["objects"]) for g in scene.walk())
    assert mesh["object"].min(initial=0) >= 0 and mesh["object"].max(initial=0) < objects
    assert np.all(np.diff(mesh["object"]) >= 0)
    # Bounds in the loader's units agree with the tool's (it prints 6 digits).
    lo, hi = scene.bounds_in("loaded")
    assert np.allclose(lo, low, rtol=1e-5, atol=1e-3) and np.allclose(hi, high, rtol=1e-5, atol=1e-3)
    # In the file's own unit everything is divided by the loader's scale.
    scale = {4: 1.0, 3: 100.0, 2: 1000.0, 1: 1e6}[scene.units]
    assert np.allclose(scene.triangles()["positions"] * scale, mesh["positions"], rtol=1e-5, atol=1e-3)


def test_a_box_gives_its_exact_corners_colour_and_walk(write):
    scene = vrml.load(write("box.wrl", BOX.replace("Shape {", "Shape { appearance Appearance { material "
                                                   "Material { diffuseColor 1 0.5 0 } }")))
    assert (scene.version, scene.units) == (1, 4)
    mesh = scene.triangles()
    corners = {tuple(p) for p in mesh["positions"].tolist()}
    assert corners == {(x, y, z) for x in (90, 110) for y in (-20, 20) for z in (-30, 30)}
    assert np.allclose(mesh["colors"], [1, 0.5, 0, 1])
    assert np.allclose(np.linalg.norm(mesh["normals"], axis=1), 1)
    low, high = scene.bounds
    assert low.tolist() == [90, -20, -30] and high.tolist() == [110, 20, 30]
    (world,) = scene.walk()
    assert world["path"] == "/" and world["objects"][0]["type"] == "box"
    assert world["objects"][0]["material"]["diffuse"] == (1.0, 0.5, 0.0, 1.0)


def test_kicad_units_and_z_up_reach_arrays_bounds_and_saves(write, tmp_path):
    path = write("box.wrl", BOX)
    plain, turned = vrml.load(path), vrml.load(path, units="kicad", scale=2, up="z")
    k = 2 * 0.00254  # a KiCad unit is 0.1 inch, 2.54 mm
    assert vrml.KICAD_UNIT_IN_METRES == 0.00254
    flat, mesh = plain.triangles(), turned.triangles()

    def turn(a):
        return np.stack([a[:, 0], a[:, 2], -a[:, 1]], axis=1)

    assert np.allclose(mesh["positions"], turn(flat["positions"]) * k)
    assert np.allclose(mesh["normals"], turn(flat["normals"]))
    low, high = turned.bounds
    assert np.allclose(low, np.array([90, -30, -20]) * k) and np.allclose(high, np.array([110, 30, 20]) * k)
    assert np.array_equal(turned.triangles("loaded")["positions"], flat["positions"])
    turned.save(tmp_path / "box.obj")
    saved = np.array([[float(v) for v in line.split()[1:]] for line in (tmp_path / "box.obj").read_text().splitlines()
                      if line.startswith("v ")])
    assert np.allclose(saved.min(axis=0), low) and np.allclose(saved.max(axis=0), high)
    for wrong in ({"units": "inch"}, {"scale": 0}, {"up": "x"}):
        with pytest.raises(ValueError):
            vrml.load(path, **wrong)


def test_lines_and_points_carry_their_colours(write):
    scene = vrml.load(write("lp.wrl", "#VRML V2.0 utf8\nShape { geometry IndexedLineSet {\n"
                            " coord Coordinate { point [ 0 0 0, 30 0 0, 30 30 0 ] } coordIndex [ 0 1 2 -1, 2 0 -1 ] } }\n"
                            "Shape { geometry PointSet { coord Coordinate { point [ 1 2 3, 4 5 6 ] }\n"
                            " color Color { color [ 1 0 0, 0 0 1 ] } } }\n"))
    lines, points = scene.lines(), scene.points()
    assert lines["lengths"].tolist() == [3, 2] and lines["positions"].shape == (5, 3)
    assert lines["object"].tolist() == [0, 1]  # one polyline object per line
    assert points["positions"].tolist() == [[1, 2, 3], [4, 5, 6]]
    assert points["colors"][:, :3].tolist() == [[1, 0, 0], [0, 0, 1]]


def test_errors_and_a_load_that_fails_part_way(write, tmp_path):
    with pytest.raises(FileNotFoundError):
        vrml.load(tmp_path / "missing.wrl")
    with pytest.raises(vrml.FormatError, match="not a VRML") as refused:
        vrml.load(write("notes.wrl", "just some notes\n"))
    assert isinstance(refused.value, ValueError)
    with pytest.raises(vrml.FormatError, match="not a regular file"):
        vrml.load("/dev/zero")
    assert vrml.load(write("empty.wrl", "#VRML V2.0 utf8\n")).result == 1
    with pytest.raises(ValueError):
        vrml.load(example("house.wrl"), segments=2)
    with pytest.raises(ValueError):
        vrml.load(example("house.wrl")).triangles(units="inches")
    with pytest.raises(ValueError, match="unknown output format"):
        vrml.load(example("house.wrl")).save(tmp_path / "house.docx")


def test_progress_rises_and_its_exceptions_come_back():
    seen = []
    vrml.load(example("robot_arm.wrl"), progress=seen.append)
    assert seen and seen == sorted(set(seen)) and 1 <= seen[0] and seen[-1] <= 99

    def fail(percent):
        raise RuntimeError("stop")
    with pytest.raises(RuntimeError, match="stop"):
        vrml.load(example("robot_arm.wrl"), progress=fail)


def test_two_threads_load_at_once(tmp_path):
    # A scene big enough to report progress, loaded on two threads whose
    # first progress report waits for the other's: both loads are under way
    # at the same time, and both give what a load on its own gives.
    big = tmp_path / "big.wrl"
    big.write_text("#VRML V2.0 utf8\n" + "".join(
        f"Transform {{ translation {i} 0 0 children Shape {{ geometry Box {{ }} }} }}\n" for i in range(20000)))
    expected = vrml.load(big).triangles()["positions"]
    meeting = threading.Barrier(2, timeout=60)
    results, met = {}, []

    def load(key):
        def progress(percent):
            if key not in met:
                met.append(key)
                meeting.wait()  # until the other load has started too
        results[key] = vrml.load(big, progress=progress).triangles()["positions"]

    threads = [threading.Thread(target=load, args=(k,)) for k in ("a", "b")]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    assert sorted(met) == ["a", "b"]
    assert all(np.array_equal(results[k], expected) for k in ("a", "b"))


def test_arrays_outlive_their_scene():
    scene = vrml.load(example("robot_arm.wrl"))
    mesh = scene.triangles()
    copy = {k: v.copy() for k, v in mesh.items()}
    del scene
    gc.collect()
    vrml.load(example("house.wrl")).triangles()  # reuse the freed memory
    for key, values in mesh.items():
        assert np.array_equal(values, copy[key])
        assert values.base is not None  # a view kept alive by its owner


def test_save_and_convert_write_what_the_tool_writes(tmp_path):
    scene = vrml.load(example("house.wrl"))
    for extension in ("glb", "gltf", "obj", "stl", "ply"):
        scene.save(tmp_path / f"house.{extension}")
        assert (tmp_path / f"house.{extension}").stat().st_size > 0
    assert run_tool("convert", example("house.wrl"), str(tmp_path / "tool.glb")).returncode == 0
    assert (tmp_path / "tool.glb").read_bytes() == (tmp_path / "house.glb").read_bytes()
    rows = vrml.convert([example("house.wrl"), tmp_path / "missing.wrl", example("terrain.wrl")], tmp_path / "out",
                        jobs=2)
    assert [r["status"] for r in rows] == ["converted", "failed", "converted"]
    assert rows[1]["reason"] == "no such file"
    assert rows[0]["triangles"] == info_figures(example("house.wrl"))[0]
    assert (tmp_path / "out" / "terrain.glb").exists()


def test_convert_keeps_the_tools_batch_rules(tmp_path, write):
    # Two inputs that map onto one output: the second fails rather than overwrite the first.
    plain = write("a.wrl", open(example("house.wrl"), "rb").read())
    packed = write("b/a.wrl.gz", gzip.compress(b"#VRML V2.0 utf8\nShape { geometry Box {} }\n"))
    rows = vrml.convert([plain, packed], tmp_path / "out", jobs=2)
    assert [r["status"] for r in rows] == ["converted", "failed"]
    assert rows[1]["reason"].endswith("was already written for an earlier input")
    vrml.convert([plain], tmp_path / "again")
    assert (tmp_path / "out" / "a.glb").read_bytes() == (tmp_path / "again" / "a.glb").read_bytes()
    tool = run_tool("convert", "--list-formats")
    assert [line.split()[0] for line in tool.stdout.splitlines()] == [f["name"] for f in vrml.formats()]
    assert vrml.output_name("x/Scene.WRL.gz", "ply") == vrml.batch.output_name("x/Scene.WRL.gz", "ply") == "Scene.ply"
    with pytest.raises(ValueError, match="glb, gltf, obj, stl or ply"):
        vrml.convert([plain], tmp_path / "out", format="dxf")


def test_a_triangle_budget_refuses_arrays_saves_and_conversions(tmp_path, write):
    cubes = write("cubes.wrl", "#VRML V1.0 ascii\nSeparator { DEF A Separator { Cube { } Cube { } } USE A USE A }\n")
    assert vrml.load(cubes).max_triangles == vrml.DEFAULT_MAX_TRIANGLES
    scene = vrml.load(cubes, max_triangles=71)
    with pytest.raises(vrml.BudgetError, match=r"72 triangles, more than the budget of 71 \(max_triangles=\)"):
        scene.triangles()
    with pytest.raises(vrml.BudgetError):
        scene.save(tmp_path / "cubes.stl")
    assert not (tmp_path / "cubes.stl").exists()
    assert len(vrml.load(cubes, max_triangles=72).triangles()["indices"]) == 72
    one = write("one.wrl", "#VRML V1.0 ascii\nCube { }\n")
    rows = vrml.convert([cubes, one], tmp_path / "out", format="obj", max_triangles=71)
    assert [r["status"] for r in rows] == ["failed", "converted"]
    assert rows[0]["reason"].startswith("72 triangles, more than the budget of 71")
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == ["one.mtl", "one.obj"]


def test_parts_place_one_mesh_per_shared_part(write):
    path = write("parts.wrl", "#VRML V2.0 utf8\nDEF P Shape { geometry Box { } }\n"
                              "Transform { translation 5 0 0 children USE P }\nShape { geometry Cone { } }\n")
    scene = vrml.load(path)
    parts = scene.parts()
    objects, meshes = parts["objects"], parts["meshes"]
    boxes = [o for o in objects if o["type"] == "box"]
    cone = next(o for o in objects if o["type"] == "cone")
    assert len(boxes) == 2 and boxes[0]["mesh"] == boxes[1]["mesh"] != cone["mesh"]
    assert cone["matrix"] is None  # its own mesh, in place already
    # The second use is the first moved 5 along x.
    np.testing.assert_allclose(boxes[1]["matrix"] @ np.linalg.inv(boxes[0]["matrix"]),
                               [[1, 0, 0, 5], [0, 1, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]], atol=1e-6)
    drawn = sum(len(meshes[o["mesh"]]["indices"]) for o in objects)
    assert drawn == len(scene.triangles()["indices"])
    assert len(scene.parts(share=False)["meshes"]) == len(objects)
    with pytest.raises(vrml.BudgetError):
        vrml.load(path, max_triangles=10).parts()


def test_front_ends_follow_the_standards_unless_told_not_to(write, tmp_path):
    # A browser shows the chosen child alone; the library's own loading builds all three.
    path = write("switch.wrl", "#VRML V2.0 utf8\nSwitch { whichChoice 1 choice [ Shape { geometry Box { } } "
                               "Shape { geometry Sphere { } } Shape { geometry Box { size 1 2 3 } } ] }\n")
    count = lambda scene: sum(len(group["objects"]) for group in scene.walk())
    assert count(vrml.load(path)) == 1 and count(vrml.load(path, standard=False)) == 3
    objects = lambda *args: int(re.search(r"objects:\s+(\d+)", run_tool("info", *args, str(path)).stdout).group(1))
    assert objects() == 1 and objects("--standard") == 1 and objects("--no-standard") == 3
    rows = vrml.convert([path], tmp_path / "out") + vrml.convert([path], tmp_path / "own", standard=False)
    assert [row["objects"] for row in rows] == [1, 3]


def test_text_is_built_in_the_standard_mode_or_when_asked(write, tmp_path):
    path = write("label.wrl", '#VRML V2.0 utf8\nShape { geometry Text { string "OK" } }\n')
    triangles = lambda scene: sum(len(mesh["indices"]) for mesh in scene.parts()["meshes"])
    assert triangles(vrml.load(path, standard=False)) == 0
    assert triangles(vrml.load(path, standard=False, text=True)) == triangles(vrml.load(path)) > 0
    rows = vrml.convert([path], tmp_path / "own", standard=False) + vrml.convert([path], tmp_path / "text",
                                                                                 standard=False, text=True)
    assert [row["objects"] for row in rows] == [0, 1]
