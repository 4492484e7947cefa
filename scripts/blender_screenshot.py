"""Renders a sample imported by the add-on with Blender's own renderer (Cycles, on the processor), for the docs:
    blender -b --factory-startup --python scripts/blender_screenshot.py -- SCENE.wrl OUT.png
The add-on must be installed (./build.sh blender)."""

import math
import sys

import bpy
from mathutils import Vector

scene_file, picture = sys.argv[sys.argv.index("--") + 1:][:2]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.preferences.addon_enable(module="vrml_import")
bpy.ops.import_scene.vrml(filepath=scene_file)
scene = bpy.context.scene
depsgraph = bpy.context.evaluated_depsgraph_get()

# Frame the imported objects from a corner, as `vrml render --view iso` does.
corners = [o.matrix_world @ Vector(c) for o in scene.objects if o.type == "MESH" for c in o.bound_box]
low = Vector(map(min, *corners))
high = Vector(map(max, *corners))
centre, size = (low + high) / 2, (high - low).length
camera = bpy.data.objects.new("camera", bpy.data.cameras.new("camera"))
camera.location = centre + Vector((1.0, -1.2, 0.8)).normalized() * size * 1.9
camera.rotation_euler = (centre - camera.location).to_track_quat("-Z", "Y").to_euler()
scene.collection.objects.link(camera)
scene.camera = camera
sun = bpy.data.objects.new("sun", bpy.data.lights.new("sun", "SUN"))
sun.rotation_euler = (math.radians(40), math.radians(10), math.radians(30))
sun.data.energy = 3.0
scene.collection.objects.link(sun)
scene.world = bpy.data.worlds.new("world")
scene.world.color = (0.6, 0.65, 0.7)

scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 32
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 800, 600
scene.render.filepath = picture
bpy.ops.render.render(write_still=True)
