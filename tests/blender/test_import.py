"""The add-on inside Blender, headless:
    blender -b --factory-startup --python-exit-code 1 --python test_import.py -- ADDON_ZIP SOURCE_DIR VRML_TOOL
It installs the zip as a user would, then imports scenes through File > Import > VRML's operator."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

import bpy
import numpy as np

ZIP, SOURCE, TOOL = sys.argv[sys.argv.index("--") + 1:][:3]


def example(name):
    return os.path.join(SOURCE, "examples", name)


def info_triangles(path):
    out = subprocess.run([TOOL, "info", path], capture_output=True, text=True).stdout
    return int(re.search(r"^triangles:\s+(\d+)", out, re.M).group(1))


def clear():
    for collection in (bpy.data.objects, bpy.data.meshes, bpy.data.materials, bpy.data.images):
        for item in list(collection):
            collection.remove(item)


def mesh_objects():
    return [o for o in bpy.data.objects if o.type == "MESH"]


def drawn_triangles():
    return sum(len(o.data.polygons) for o in mesh_objects())


class AddOn(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        bpy.ops.preferences.addon_install(filepath=ZIP, overwrite=True)
        bpy.ops.preferences.addon_enable(module="vrml_import")
        cls.folder = tempfile.TemporaryDirectory()

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def setUp(self):
        clear()

    def write(self, name, text):
        path = os.path.join(self.folder.name, name)
        with open(path, "w") as out:
            out.write(text)
        return path

    def test_samples_bring_every_triangle_vrml_info_counts(self):
        for name in ("house.wrl", "robot_arm.wrl", "gallery.wrl", "terrain.wrl", "prototypes.wrl"):
            clear()
            self.assertEqual(bpy.ops.import_scene.vrml(filepath=example(name)), {"FINISHED"}, name)
            self.assertEqual(drawn_triangles(), info_triangles(example(name)), name)

    def test_uses_of_one_part_share_one_mesh_and_keep_their_own_colours(self):
        uses = "".join(f"Transform {{ translation {i} 0 0 children Shape {{ appearance Appearance {{ material "
                       f"Material {{ diffuseColor {i % 2} 0 1 }} }} geometry USE Part }} }}\n" for i in range(1, 40))
        path = self.write("parts.wrl", "#VRML V2.0 utf8\nShape { geometry DEF Part IndexedFaceSet { coord "
                                       "Coordinate { point [0 0 0, 1 0 0, 1 1 0] } coordIndex [0 1 2] } }\n" + uses)
        bpy.ops.import_scene.vrml(filepath=path)
        objects = mesh_objects()
        self.assertEqual(len(objects), 40)
        self.assertEqual(len({o.data.name for o in objects}), 1)
        # One material; each use carries its own colour (the first shape the default grey).
        self.assertEqual(len({o.material_slots[0].material.name for o in objects}), 1)
        self.assertEqual(len({tuple(round(c, 5) for c in o.color) for o in objects}), 3)
        # Each use stands where the file places it.
        xs = sorted(round((o.matrix_world @ o.data.vertices[1].co).x, 4) for o in objects)
        self.assertEqual(xs, [float(i + 1) for i in range(40)])

    def test_kicad_units_and_axes(self):
        path = self.write("part.wrl", "#VRML V2.0 utf8\nTransform { translation 10 20 30 children Shape { "
                                      "geometry Box { size 2 2 2 } } }\n")

        def corner(**options):
            clear()
            bpy.ops.import_scene.vrml(filepath=path, **options)
            (box,) = mesh_objects()
            points = np.array([box.matrix_world @ v.co for v in box.data.vertices])
            return points.max(axis=0)

        # VRML's +Y up becomes Blender's +Z: (x, y, z) -> (x, -z, y).
        np.testing.assert_allclose(corner(), [11, -29, 21], atol=1e-4)
        np.testing.assert_allclose(corner(units="KICAD", up_axis="Z"), np.array([11, 21, 31]) * 0.00254, atol=1e-7)

    def test_colours_are_linear_and_drive_the_base_colour(self):
        path = self.write("colours.wrl", "#VRML V2.0 utf8\nShape { appearance Appearance { material Material { "
                                         "diffuseColor 0.5 0.5 0.5 transparency 0.25 } } geometry IndexedFaceSet { "
                                         "coord Coordinate { point [0 0 0, 1 0 0, 1 1 0] } coordIndex [0 1 2] "
                                         "color Color { color [1 0 0, 0 1 0, 0.5 0.5 0.5] } } }\n")
        bpy.ops.import_scene.vrml(filepath=path)
        (shape,) = mesh_objects()
        colours = np.zeros(len(shape.data.vertices) * 4, dtype=np.float32)
        shape.data.color_attributes["Color"].data.foreach_get("color", colours)
        self.assertIn(0.21404114, np.round(colours, 8))  # 0.5 as a display value is 0.214 linear
        material = shape.material_slots[0].material
        shader = material.node_tree.nodes["Principled BSDF"]
        (link,) = shader.inputs["Base Color"].links
        self.assertEqual(link.from_node.bl_idname, "ShaderNodeVertexColor")
        (link,) = shader.inputs["Alpha"].links
        self.assertEqual(link.from_node.bl_idname, "ShaderNodeObjectInfo")
        self.assertAlmostEqual(shape.color[3], 0.75, places=6)  # the object's own opacity
        self.assertEqual(material.blend_method, "BLEND")

    def test_the_files_normals_on_request(self):
        path = self.write("normals.wrl", "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { "
                                         "point [0 0 0, 1 0 0, 1 1 0] } coordIndex [0 1 2] normal Normal { vector "
                                         "[0.6 0 0.8] } normalPerVertex FALSE } }\n")
        bpy.ops.import_scene.vrml(filepath=path, normals="FILE")
        (shape,) = mesh_objects()
        self.assertTrue(shape.data.has_custom_normals)
        shape.data.calc_normals_split()
        np.testing.assert_allclose(shape.data.loops[0].normal, [0.6, 0, 0.8], atol=1e-4)  # stored as shorts
        clear()
        bpy.ops.import_scene.vrml(filepath=path)
        (shape,) = mesh_objects()
        self.assertFalse(shape.data.has_custom_normals)

    def test_pictures_are_packed(self):
        bpy.ops.import_scene.vrml(filepath=example("gallery.wrl"))
        self.assertTrue(bpy.data.images)
        self.assertTrue(all(image.packed_file is not None for image in bpy.data.images))
        self.assertTrue(any(o.data.uv_layers for o in mesh_objects()))

    def test_merge_by_material_joins_every_shape(self):
        bpy.ops.import_scene.vrml(filepath=example("house.wrl"), merge="MATERIAL")
        merged = mesh_objects()
        looks = {(o.material_slots[0].material.name, tuple(round(c, 5) for c in o.color)) for o in merged}
        self.assertEqual(len(merged), len(looks))
        self.assertEqual(drawn_triangles(), info_triangles(example("house.wrl")))

    def test_bad_files_cancel_with_the_reason(self):
        path = self.write("notes.wrl", "just some text\n")
        with self.assertRaisesRegex(RuntimeError, "not a VRML 1.0 or 2.0 file"):
            bpy.ops.import_scene.vrml(filepath=path)
        with self.assertRaisesRegex(RuntimeError, "no such file"):
            bpy.ops.import_scene.vrml(filepath=os.path.join(self.folder.name, "missing.wrl"))
        self.assertEqual(len(bpy.data.objects), 0)


if __name__ == "__main__":
    result = unittest.main(argv=[sys.argv[0]], exit=False, verbosity=2).result
    sys.exit(0 if result.wasSuccessful() else 1)
