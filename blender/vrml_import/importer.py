"""Builds Blender data from a scene the vrml library loaded: empties for its groups, one object per shape, one
mesh per distinct part (its uses are linked duplicates), and Principled BSDF materials."""

import math
import os

import bpy
import numpy as np
from mathutils import Matrix

import vrml



def to_linear(values):
    """Display (sRGB) colour values, as VRML gives them, to Blender's linear ones; alpha is left as it is."""
    values = np.clip(np.asarray(values, dtype=np.float32), 0.0, 1.0)
    rgb = values[..., :3]
    linear = np.where(rgb <= 0.04045, rgb / 12.92, ((rgb + 0.055) / 1.055) ** 2.4)
    return np.concatenate([linear, values[..., 3:]], axis=-1)


def root_matrix(units, up_axis):
    """From the file's axes and unit to Blender's: Z up, metres."""
    scale = vrml.KICAD_UNIT_IN_METRES if units == "KICAD" else 1.0
    turn = Matrix.Rotation(math.pi / 2, 4, "X") if up_axis == "Y" else Matrix.Identity(4)
    return turn @ Matrix.Scale(scale, 4)


def strip_edges(lengths, first):
    """The edges of line strips of these lengths, their points numbered from `first` on."""
    lengths = np.asarray(lengths, dtype=np.int64)
    if lengths.size == 0:
        return np.zeros((0, 2), dtype=np.int32)
    starts = first + np.concatenate([[0], np.cumsum(lengths)[:-1]])
    pairs = [np.stack([np.arange(s, s + n - 1), np.arange(s + 1, s + n)], axis=1) for s, n in zip(starts, lengths)]
    return np.concatenate(pairs).astype(np.int32)


def build_mesh(name, part, file_normals=False):
    """A Blender mesh from one of the scene's meshes: triangles with their colours and texture coordinates,
    line strips as edges, points as loose vertices, in that order of vertices. The vertices are already split
    where the file's normals differ (creases, flat faces), so Blender's smooth shading over them follows the
    file; `file_normals` sets the file's own normals as custom normals, exactly, at several times the cost."""
    positions, indices = part["positions"], part["indices"]
    lines, points = part["line_positions"], part["points"]
    coords = np.concatenate([positions, lines, points]).astype(np.float32)
    mesh = bpy.data.meshes.new(name)
    mesh.vertices.add(len(coords))
    mesh.vertices.foreach_set("co", coords.ravel())
    edges = strip_edges(part["line_lengths"], len(positions))
    if len(edges):
        mesh.edges.add(len(edges))
        mesh.edges.foreach_set("vertices", edges.ravel())
    triangles = len(indices)
    if triangles:
        mesh.loops.add(3 * triangles)
        mesh.loops.foreach_set("vertex_index", indices.astype(np.int32).ravel())
        mesh.polygons.add(triangles)
        mesh.polygons.foreach_set("loop_start", np.arange(0, 3 * triangles, 3, dtype=np.int32))
        mesh.polygons.foreach_set("loop_total", np.full(triangles, 3, dtype=np.int32))
        mesh.polygons.foreach_set("use_smooth", np.ones(triangles, dtype=bool))
    mesh.update(calc_edges=True)
    if triangles and file_normals:
        # The file's normals, as custom normals on the vertices they belong to.
        normals = np.zeros((len(coords), 3), dtype=np.float32)
        normals[: len(positions)] = part["normals"]
        mesh.use_auto_smooth = True
        mesh.normals_split_custom_set_from_vertices(normals)
    if part["colors"] is not None:
        colors = mesh.color_attributes.new("Color", "FLOAT_COLOR", "POINT")
        colors.data.foreach_set("color", to_linear(part["colors"]).ravel())
    if part["uv"] is not None and triangles:
        layer = mesh.uv_layers.new(name="UVMap")
        layer.data.foreach_set("uv", part["uv"][indices.ravel()].ravel())
    return mesh


def build_image(texture):
    """A picture packed into the .blend: Blender's rows run bottom up."""
    width, height = texture["width"], texture["height"]
    name = os.path.basename(texture["name"]) or "texture"
    image = bpy.data.images.new(name, width, height, alpha=True)
    pixels = texture["rgba"].reshape(height, width, 4)[::-1].astype(np.float32) / 255.0
    image.pixels.foreach_set(pixels.ravel())
    image.pack()
    return image


class SceneBuilder:
    """Turns the parts of one file into Blender data, making each mesh, material and image once."""

    def __init__(self, parts, name, file_normals=False):
        self.parts = parts
        self.name = name
        self.file_normals = file_normals
        self.meshes = {}
        self.materials = {}
        self.images = {}
        # Per VRML material, made once for all: each object's own colour (its diffuse colour and opacity, in
        # linear values) and what its Blender material depends on beyond texture and colours.
        looks = parts["materials"]
        diffuse = to_linear([m["diffuse"] for m in looks]) if looks else np.zeros((0, 4))
        self.colours = [tuple(float(c) for c in row) for row in diffuse.tolist()]
        self.looks = [(tuple(round(c, 6) for c in m["emission"]), round(float(m["roughness"]), 6))
                      for m in looks]

    def mesh(self, index):
        if index not in self.meshes:
            self.meshes[index] = build_mesh(f"{self.name}.{index}", self.parts["meshes"][index], self.file_normals)
        return self.meshes[index]

    def image(self, index):
        if index not in self.images:
            self.images[index] = build_image(self.parts["textures"][index])
        return self.images[index]

    def material(self, index, texture, colors):
        """A Principled BSDF for the VRML materials that differ from this one only in their diffuse colour and
        transparency, which each object then carries as its own colour (Object Info): a scene of thousands of
        parts, each of its own colour, needs one Blender material, not thousands. The file's colours replace
        the diffuse colour; a coloured picture replaces both, a grey one (an intensity map) multiplies them, as
        VRML draws them."""
        key = (*self.looks[index], texture, colors)
        if key in self.materials:
            return self.materials[key]
        source = self.parts["materials"][index]
        made = bpy.data.materials.new(f"{self.name}.{len(self.materials)}")
        made.use_nodes = True
        nodes, links = made.node_tree.nodes, made.node_tree.links
        shader = nodes.get("Principled BSDF")
        emission = to_linear(source["emission"])
        shader.inputs["Emission"].default_value = (*emission[:3], 1.0)
        shader.inputs["Roughness"].default_value = float(source["roughness"])
        made.blend_method = "BLEND"  # opaque objects (alpha 1) draw as such
        made.shadow_method = "HASHED"
        made.show_transparent_back = False
        own = nodes.new("ShaderNodeObjectInfo")
        links.new(own.outputs["Alpha"], shader.inputs["Alpha"])
        colour = own.outputs["Color"]
        if colors:
            attribute = nodes.new("ShaderNodeVertexColor")
            attribute.layer_name = "Color"
            colour = attribute.outputs["Color"]
        if texture >= 0:
            picture = nodes.new("ShaderNodeTexImage")
            picture.image = self.image(texture)
            wrap = self.parts["textures"][texture]
            picture.extension = "REPEAT" if wrap["repeat_s"] and wrap["repeat_t"] else "EXTEND"
            if wrap["intensity"]:
                mix = nodes.new("ShaderNodeMixRGB")
                mix.blend_type = "MULTIPLY"
                mix.inputs["Fac"].default_value = 1.0
                links.new(colour, mix.inputs["Color1"])
                links.new(picture.outputs["Color"], mix.inputs["Color2"])
                colour = mix.outputs["Color"]
            else:
                colour = picture.outputs["Color"]
                if picture.image.alpha_mode != "NONE":
                    multiply = nodes.new("ShaderNodeMath")
                    multiply.operation = "MULTIPLY"
                    links.new(own.outputs["Alpha"], multiply.inputs[0])
                    links.new(picture.outputs["Alpha"], multiply.inputs[1])
                    links.new(multiply.outputs["Value"], shader.inputs["Alpha"])
        links.new(colour, shader.inputs["Base Color"])
        self.materials[key] = made
        return made

    def material_of(self, item):
        part = self.parts["meshes"][item["mesh"]]
        return self.material(item["material"], item["texture"], part["colors"] is not None)

    def colour(self, material):
        """An object's own colour: its VRML material's diffuse colour and opacity, in linear values."""
        return self.colours[material]


def import_file(context, path, units="FILE", up_axis="Y", merge="NONE", standard=True, normals="BLENDER",
                report=None):
    """Imports one file into the active collection; returns 1 when something was imported, else 0."""
    report = report or (lambda kind, message: print(*kind, message))
    wm = context.window_manager
    wm.progress_begin(0, 100)
    try:
        try:
            scene = vrml.load(path, standard=standard, progress=lambda percent: wm.progress_update(percent * 0.6))
            parts = scene.parts()
        except (OSError, ValueError) as error:  # no such file, not VRML, or past the triangle budget
            report({"ERROR"}, str(error))  # the reason names the file
            return 0
        if scene.result != 0:
            report({"WARNING"}, f"{path}: the file failed part-way; what could be read is imported")
        name = os.path.basename(path).split(".")[0] or "vrml"
        builder = SceneBuilder(parts, name, file_normals=normals == "FILE")
        # The file's own collection, linked to the scene once filled: objects linked to a collection outside
        # the scene cost no view layer update each.
        collection = bpy.data.collections.new(name)
        root = bpy.data.objects.new(name, None)
        root.matrix_world = root_matrix(units, up_axis)
        collection.objects.link(root)
        if merge == "MATERIAL":
            _merged_by_material(builder, collection, root, wm)
        else:
            _one_per_shape(builder, collection, root, wm)
        context.collection.children.link(collection)
        wm.progress_update(100)
        return 1
    finally:
        wm.progress_end()


def _one_per_shape(builder, collection, root, wm):
    """Empties follow the groups (the world is the root); each shape is an object placing its mesh."""
    parts = builder.parts
    holders = [root]
    for group in parts["groups"][1:]:
        empty = bpy.data.objects.new(group["name"] or "group", None)
        empty.empty_display_size = 0.1
        empty.parent = holders[group["parent"]]
        collection.objects.link(empty)
        holders.append(empty)
    objects = parts["objects"]
    for number, item in enumerate(objects):
        mesh = builder.mesh(item["mesh"])
        if not mesh.materials:
            mesh.materials.append(None)  # one slot; each use fills it with its own material
        made = bpy.data.objects.new(item["name"] or item["type"], mesh)
        made.material_slots[0].link = "OBJECT"
        made.material_slots[0].material = builder.material_of(item)
        made.color = builder.colour(item["material"])
        made.parent = holders[item["group"]]
        if item["matrix"] is not None:  # a new object's parent inverse is the identity already
            made.matrix_basis = Matrix(item["matrix"].tolist())
        collection.objects.link(made)
        if number % 256 == 0:
            wm.progress_update(60 + 40 * number / max(len(objects), 1))


def _merged_by_material(builder, collection, root, wm):
    """One object per material: every shape placed in the file's space and joined."""
    parts = builder.parts
    joined = {}
    for item in parts["objects"]:
        part = parts["meshes"][item["mesh"]]
        key = (item["material"], item["texture"], part["colors"] is not None)
        joined.setdefault(key, []).append((part, item["matrix"]))
    for number, (key, pieces) in enumerate(joined.items()):
        mesh = build_mesh(f"{builder.name}.material{key[0]}", _join(pieces), builder.file_normals)
        mesh.materials.append(builder.material(*key))
        made = bpy.data.objects.new(mesh.name, mesh)
        made.color = builder.colour(key[0])
        made.parent = root
        collection.objects.link(made)
        wm.progress_update(60 + 40 * number / max(len(joined), 1))


def _join(pieces):
    """Meshes placed by their matrices (None: in place already), as one."""
    def placed(values, matrix, directions=False):
        if matrix is None or len(values) == 0:
            return values
        if directions:
            turned = values @ np.linalg.inv(matrix[:3, :3])  # the inverse transpose, for column vectors
            length = np.linalg.norm(turned, axis=1, keepdims=True)
            return np.divide(turned, length, out=np.zeros_like(turned), where=length > 0)
        return values @ matrix[:3, :3].T + matrix[:3, 3]

    keys = ("positions", "normals", "indices", "line_positions", "line_lengths", "points")
    out = {k: [] for k in keys}
    colors, uv, base = [], [], 0
    with_colors = pieces[0][0]["colors"] is not None
    with_uv = all(p["uv"] is not None for p, _ in pieces)
    for part, matrix in pieces:
        out["positions"].append(placed(part["positions"], matrix))
        out["normals"].append(placed(part["normals"], matrix, directions=True))
        out["indices"].append(part["indices"] + base)
        base += len(part["positions"])
        out["line_positions"].append(placed(part["line_positions"], matrix))
        out["line_lengths"].append(part["line_lengths"])
        out["points"].append(placed(part["points"], matrix))
        if with_colors:
            colors.append(part["colors"])
        if with_uv:
            uv.append(part["uv"])
    merged = {k: np.concatenate(v) for k, v in out.items()}
    if with_colors:
        # Colours run over positions, then line points, then points: regrouped in that order.
        count = lambda p: (len(p["positions"]), len(p["line_positions"]), len(p["points"]))
        spans = [np.split(c, np.cumsum(count(p))[:2]) for c, (p, _) in zip(colors, pieces)]
        merged["colors"] = np.concatenate([s[k] for k in range(3) for s in spans])
    else:
        merged["colors"] = None
    merged["uv"] = np.concatenate(uv) if with_uv and uv else None
    return merged
