"""VRML 1.0 and 2.0 scenes in Python: groups, objects and numpy arrays.

    scene = vrml.load("robot_arm.wrl")
    mesh = scene.triangles()          # positions, normals, colors, uv, indices, object
    scene.save("robot_arm.glb")

A missing file raises FileNotFoundError and a file that is not VRML raises
FormatError (a ValueError) with the reason. A file that fails part-way loads
what could be read and gives a scene whose `result` is 1.
"""

from ._vrml import DEFAULT_MAX_TRIANGLES, KICAD_UNIT_IN_METRES, Scene, formats, output_name, load as _load, convert as _convert


class FormatError(ValueError):
    """The file is not a VRML 1.0 or 2.0 file, or could not be read (the reason is in the message)."""


class BudgetError(ValueError):
    """The scene holds more triangles than `max_triangles` allows (the counts are in the message)."""


def load(path, standard=True, segments=32, progress=None, include_root=None, max_triangles=DEFAULT_MAX_TRIANGLES,
         units="file", scale=1.0, up="y", text=False):
    """Loads a scene. `progress` is called with increasing percentages while it loads.

    `standard` (the default) follows the VRML standards, as a VRML browser
    shows the scene; `standard=False` gives the library's own loading, which
    builds more (every Switch child and LOD level) and builds text only with
    `text=True`;
    `segments` divides a full turn of curved solids in the arrays and saved
    files; `include_root` keeps the files the scene names inside that folder;
    `triangles()` and `save()` raise BudgetError for a scene of more than
    `max_triangles` triangles (0: no limit).

    The arrays, bounds and saved files in the file's units ("file", their
    default) are in the frame asked for here: `units="kicad"` takes one unit
    as 0.1 inch and gives metres, `scale` multiplies further, and `up="z"`
    turns a file drawn with Z up so that Y is up, as glTF wants.
    """
    return _load(str(path), standard=standard, segments=segments, progress=progress,
                 include_root=str(include_root) if include_root else "", max_triangles=max_triangles,
                 units=units, scale=scale, up=up, text=text)


def convert(inputs, output_dir, format="glb", jobs=1, segments=32, standard=True, include_root=None,
            max_triangles=DEFAULT_MAX_TRIANGLES, text=False):
    """Converts each input into `output_dir` on `jobs` threads; one dict per input, in order:
    file, output, status ("converted" or "failed"), reason, objects, triangles, seconds.
    An input whose output would store more than `max_triangles` triangles fails (0: no limit).
    `standard` and `text` are as for `load`."""
    if isinstance(inputs, (str, bytes)) or hasattr(inputs, "__fspath__"):
        inputs = [inputs]
    return _convert([str(i) for i in inputs], str(output_dir), format=format, jobs=jobs, segments=segments,
                    standard=standard, include_root=str(include_root) if include_root else "",
                    max_triangles=max_triangles, text=text)


__all__ = ["Scene", "FormatError", "BudgetError", "DEFAULT_MAX_TRIANGLES", "KICAD_UNIT_IN_METRES", "load", "convert",
           "formats", "output_name"]
