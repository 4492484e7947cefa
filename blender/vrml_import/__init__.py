"""File > Import > VRML: VRML 1.0 and 2.0 scenes, KiCad parts and boards, through the vrml library.

The add-on carries the library's Python module (the `vrml` package beside this file); it needs Blender built
with Debian's Python 3.11, as Debian's own Blender is.
"""

bl_info = {
    "name": "VRML import (vrml library)",
    "author": "The vrml library's authors",
    "version": (0, 1, 0),
    "blender": (3, 4, 0),
    "location": "File > Import > VRML (.wrl, .wrz, .wrl.gz)",
    "description": "VRML 1.0 and 2.0 scenes with colours, textures, shared parts, KiCad units and axes",
    "category": "Import-Export",
}

import os
import sys

import bpy
from bpy.props import BoolProperty, CollectionProperty, EnumProperty, StringProperty
from bpy_extras.io_utils import ImportHelper

# The library's package travels inside the add-on; it is imported as `vrml`.
_here = os.path.dirname(os.path.abspath(__file__))
if _here not in sys.path:
    sys.path.insert(0, _here)


class ImportVRML(bpy.types.Operator, ImportHelper):
    """Import VRML 1.0 and 2.0 scenes (.wrl, .wrz, .wrl.gz)"""

    bl_idname = "import_scene.vrml"
    bl_label = "Import VRML"
    bl_options = {"REGISTER", "UNDO", "PRESET"}

    filename_ext = ".wrl"
    filter_glob: StringProperty(default="*.wrl;*.wrz;*.wrl.gz;*.vrml;*.vrml.gz", options={"HIDDEN"})
    files: CollectionProperty(type=bpy.types.OperatorFileListElement, options={"HIDDEN", "SKIP_SAVE"})
    directory: StringProperty(subtype="DIR_PATH", options={"HIDDEN", "SKIP_SAVE"})

    units: EnumProperty(
        name="Units",
        items=[("FILE", "File (metres)", "One unit of the file is a metre, as VRML says"),
               ("KICAD", "KiCad (0.1 inch)", "One unit of the file is 0.1 inch (2.54 mm), as KiCad writes")],
        default="FILE")
    up_axis: EnumProperty(
        name="Up",
        items=[("Y", "Y (VRML)", "The file's +Y is up, as VRML says: turned to Blender's +Z"),
               ("Z", "Z (KiCad)", "The file's +Z is up already, as KiCad writes")],
        default="Y")
    merge: EnumProperty(
        name="Merge",
        items=[("NONE", "None", "One Blender object per shape of the file, under empties that follow its groups"),
               ("MATERIAL", "By material", "One object per material and file, the shapes joined")],
        default="NONE")
    normals: EnumProperty(
        name="Normals",
        items=[("BLENDER", "Smooth", "Blender's smooth shading over the vertices, which are split where the file's "
                                     "normals differ: close to the file's normals, and fast"),
               ("FILE", "The file's", "The file's own normals as custom normals: exact, several times slower on "
                                      "large meshes")],
        default="BLENDER")
    standard: BoolProperty(
        name="Standard semantics",
        description="Follow the VRML standards, as a VRML browser shows the scene: only the chosen Switch child "
                    "and the first LOD level. Off: the loader's own semantics, which build every one",
        default=True)

    def execute(self, context):
        from . import importer
        paths = [os.path.join(self.directory, f.name) for f in self.files if f.name] or [self.filepath]
        imported = 0
        for path in paths:
            imported += importer.import_file(context, path, units=self.units, up_axis=self.up_axis,
                                             merge=self.merge, standard=self.standard, normals=self.normals,
                                             report=self.report)
        return {"FINISHED"} if imported else {"CANCELLED"}


def menu_import(self, context):
    self.layout.operator(ImportVRML.bl_idname, text="VRML (.wrl, .wrz, .wrl.gz)")


def register():
    bpy.utils.register_class(ImportVRML)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    bpy.utils.unregister_class(ImportVRML)
