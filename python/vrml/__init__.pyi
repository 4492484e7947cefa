# Type stubs of the vrml package, for editors.
from os import PathLike
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple, TypedDict, Union

import numpy as np
import numpy.typing as npt

_Path = Union[str, PathLike]

class FormatError(ValueError): ...

class Material(TypedDict):
    ambient: Tuple[float, float, float, float]
    diffuse: Tuple[float, float, float, float]
    specular: Tuple[float, float, float, float]
    emission: Tuple[float, float, float, float]
    shininess: float

class SceneObject(TypedDict):
    type: str  # "box", "cone", "cylinder", "sphere", "disk", "dot", "polyline", "polygon", "polyface", "mesh", "strips"
    name: str
    material: Material

class Group(TypedDict):
    name: str
    path: str  # "/" for the world, then "/Name/Sub" ("_" for an unnamed group)
    depth: int
    objects: List[SceneObject]

class ConvertRow(TypedDict):
    file: str
    output: str
    status: str  # "converted" or "failed"
    reason: str
    objects: int
    triangles: int
    seconds: float

class Scene:
    result: int    # 0 loaded, 1 failed part-way (what could be read is kept)
    version: int   # 0 VRML 1.0, 1 VRML 2.0
    units: int     # 4 not scaled, 3 x100, 2 x1000, 1 x1000000
    segments: int
    max_triangles: int  # triangles() and save() raise BudgetError past it; 0: no limit
    file: str
    @property
    def bounds(self) -> Tuple[npt.NDArray[np.float32], npt.NDArray[np.float32]]: ...  # in the file's unit
    def bounds_in(self, units: str = "file") -> Tuple[npt.NDArray[np.float32], npt.NDArray[np.float32]]: ...
    def walk(self) -> List[Group]: ...
    # positions (N,3) float32, normals (N,3) float32, colors (N,4) float32, uv (N,2) float32,
    # indices (M,3) uint32, object (M,) int32: three vertices of its own per triangle.
    def triangles(self, units: str = "file") -> Dict[str, np.ndarray]: ...
    # positions (N,3), colors (N,4), lengths (S,) uint32 (points per strip), object (S,) int32
    def lines(self, units: str = "file") -> Dict[str, np.ndarray]: ...
    # positions (N,3), colors (N,4), object (N,) int32
    def points(self, units: str = "file") -> Dict[str, np.ndarray]: ...
    def save(self, path: _Path) -> None: ...
    # As an importer builds the scene: "groups" [{name, parent}], "materials" [{diffuse, emission, specular
    # (display RGBA), roughness}], "textures" [{name, width, height, rgba (H*W,4) uint8 top row first, repeat_s,
    # repeat_t, intensity}], "meshes" [{positions, normals, indices (M,3), line_positions, line_lengths, points,
    # colors (display RGBA per position, line point and point) or None, uv or None}], "objects" [{name, type,
    # group, material, texture, mesh, matrix (4,4) for column vectors, or None for a mesh in place}]. With
    # `share`, the uses of one part place one mesh.
    def parts(self, units: str = "file", share: bool = True) -> Dict[str, Any]: ...

DEFAULT_MAX_TRIANGLES: int
class BudgetError(ValueError): ...
def load(path: _Path, standard: bool = True, segments: int = 32,
         progress: Optional[Callable[[int], object]] = None, include_root: Optional[_Path] = None,
         max_triangles: int = ..., units: str = "file", scale: float = 1.0, up: str = "y",
         text: bool = False) -> Scene: ...
def convert(inputs: Union[_Path, Sequence[_Path]], output_dir: _Path, format: str = "glb", jobs: int = 1,
            segments: int = 32, standard: bool = True, include_root: Optional[_Path] = None,
            max_triangles: int = ..., text: bool = False) -> List[ConvertRow]: ...
class Format(TypedDict):
    name: str         # also the file extension, after its dot
    description: str  # what the format keeps
def formats() -> List[Format]: ...
def output_name(input: str, format: str) -> str: ...
