#!/usr/bin/env python3
"""Renders an OBJ file (with its MTL) to a PNG, using only Python's standard
library: a small software rasterizer with a depth buffer, Lambert shading
under a key and a fill light, transparency from the MTL's `d`, and 2x2
supersampling. Made for the README's picture; not part of the library.

    render_obj.py IN.obj OUT.png [--size 800x600] [--azimuth 35] [--elevation 20]
"""
import argparse
import math
import os
import struct
import zlib


def read_mtl(path):
    materials, current = {}, None
    if not os.path.exists(path):
        return materials
    for line in open(path, encoding="utf-8", errors="replace"):
        words = line.split()
        if not words:
            continue
        if words[0] == "newmtl":
            current = materials.setdefault(words[1], {"Kd": (0.8, 0.8, 0.8), "Ke": (0, 0, 0), "d": 1.0})
        elif current is not None and words[0] in ("Kd", "Ke"):
            current[words[0]] = tuple(float(w) for w in words[1:4])
        elif current is not None and words[0] == "d":
            current["d"] = float(words[1])
    return materials


def read_obj(path):
    """Triangles as (three points, three normals or None, material name);
    lines and points are not drawn."""
    vertices, normals, triangles, materials, material = [], [], [], {}, None
    for line in open(path, encoding="utf-8", errors="replace"):
        words = line.split()
        if not words:
            continue
        if words[0] == "v":
            vertices.append(tuple(float(w) for w in words[1:4]))
        elif words[0] == "vn":
            normals.append(tuple(float(w) for w in words[1:4]))
        elif words[0] == "f":
            refs = [w.split("/") for w in words[1:]]
            corners = [vertices[int(r[0]) - 1] for r in refs]
            corner_normals = [normals[int(r[2]) - 1] if len(r) > 2 and r[2] else None for r in refs]
            for k in range(1, len(corners) - 1):
                tri_normals = (corner_normals[0], corner_normals[k], corner_normals[k + 1])
                triangles.append(((corners[0], corners[k], corners[k + 1]),
                                  None if None in tri_normals else tri_normals, material))
        elif words[0] == "usemtl":
            material = words[1]
        elif words[0] == "mtllib":
            materials.update(read_mtl(os.path.join(os.path.dirname(path), " ".join(words[1:]))))
    return triangles, materials


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def unit(a):
    length = math.sqrt(dot(a, a)) or 1.0
    return (a[0] / length, a[1] / length, a[2] / length)


def render(triangles, materials, width, height, azimuth, elevation):
    points = [p for tri, _, _ in triangles for p in tri]
    low = [min(p[k] for p in points) for k in range(3)]
    high = [max(p[k] for p in points) for k in range(3)]
    center = [(low[k] + high[k]) / 2 for k in range(3)]
    radius = max(1e-9, math.sqrt(sum((high[k] - low[k]) ** 2 for k in range(3))) / 2)

    # A camera on a sphere around the model, looking at its centre (y is up).
    a, e = math.radians(azimuth), math.radians(elevation)
    forward = unit((-math.cos(e) * math.sin(a), -math.sin(e), -math.cos(e) * math.cos(a)))
    right = unit(cross(forward, (0, 1, 0)))
    up = cross(right, forward)
    fov = math.radians(35)
    distance = radius / math.sin(fov / 2) * 1.05
    eye = [center[k] - forward[k] * distance for k in range(3)]
    focal = (min(width, height) / 2) / math.tan(fov / 2)
    key = unit((-0.4, 0.8, 0.45))
    fill = unit((0.6, 0.2, -0.5))

    depth = [math.inf] * (width * height)
    top, bottom = (0.93, 0.95, 0.98), (0.70, 0.74, 0.80)
    color = []
    for y in range(height):
        t = y / max(1, height - 1)
        color.extend([tuple(top[c] * (1 - t) + bottom[c] * t for c in range(3))] * width)

    def project(p):
        d = sub(p, eye)
        z = dot(d, forward)
        return (width / 2 + focal * dot(d, right) / z, height / 2 - focal * dot(d, up) / z, z)

    def shade(tri, normals, material):
        """The colour at each corner (Gouraud shading) and the opacity."""
        m = materials.get(material, {"Kd": (0.8, 0.8, 0.8), "Ke": (0, 0, 0), "d": 1.0})
        face = unit(cross(sub(tri[1], tri[0]), sub(tri[2], tri[0])))
        flip = dot(face, forward) > 0  # seen from behind: VRML solids are often open
        colours = []
        for k in range(3):
            n = unit(normals[k]) if normals else face
            if flip:
                n = (-n[0], -n[1], -n[2])
            light = 0.28 + 0.62 * max(0.0, dot(n, key)) + 0.22 * max(0.0, dot(n, fill))
            colours.append(tuple(min(1.0, m["Kd"][c] * light + m["Ke"][c]) for c in range(3)))
        return colours, m["d"]

    def draw(tri, colours, alpha, write_depth):
        s = [project(p) for p in tri]
        if min(v[2] for v in s) <= 1e-9:
            return
        area = (s[1][0] - s[0][0]) * (s[2][1] - s[0][1]) - (s[2][0] - s[0][0]) * (s[1][1] - s[0][1])
        if abs(area) < 1e-12:
            return
        x0, x1 = max(0, int(min(v[0] for v in s))), min(width - 1, int(max(v[0] for v in s)) + 1)
        y0, y1 = max(0, int(min(v[1] for v in s))), min(height - 1, int(max(v[1] for v in s)) + 1)
        for y in range(y0, y1 + 1):
            py = y + 0.5
            for x in range(x0, x1 + 1):
                px = x + 0.5
                w0 = ((s[1][0] - px) * (s[2][1] - py) - (s[2][0] - px) * (s[1][1] - py)) / area
                w1 = ((s[2][0] - px) * (s[0][1] - py) - (s[0][0] - px) * (s[2][1] - py)) / area
                w2 = 1.0 - w0 - w1
                if w0 < 0 or w1 < 0 or w2 < 0:
                    continue
                # Perspective-correct depth: interpolate 1/z.
                z = 1.0 / (w0 / s[0][2] + w1 / s[1][2] + w2 / s[2][2])
                i = y * width + x
                if z >= depth[i]:
                    continue
                rgb = tuple(colours[0][c] * w0 + colours[1][c] * w1 + colours[2][c] * w2 for c in range(3))
                if write_depth:
                    depth[i] = z
                    color[i] = rgb
                else:
                    old = color[i]
                    color[i] = tuple(rgb[c] * alpha + old[c] * (1 - alpha) for c in range(3))

    opaque = [t for t in triangles if materials.get(t[2], {"d": 1.0})["d"] >= 1.0]
    clear = [t for t in triangles if materials.get(t[2], {"d": 1.0})["d"] < 1.0]
    for tri, normals, m in opaque:
        colours, _ = shade(tri, normals, m)
        draw(tri, colours, 1.0, True)
    # Transparent surfaces last, far to near, blended over what lies behind.
    clear.sort(key=lambda item: -sum(dot(sub(p, eye), forward) for p in item[0]))
    for tri, normals, m in clear:
        colours, alpha = shade(tri, normals, m)
        draw(tri, colours, alpha, False)
    return color


def write_png(path, width, height, pixels):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for r, g, b in pixels[y * width:(y + 1) * width]:
            rows += bytes((int(r * 255 + 0.5), int(g * 255 + 0.5), int(b * 255 + 0.5)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        out.write(chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("obj")
    parser.add_argument("png")
    parser.add_argument("--size", default="800x600")
    parser.add_argument("--azimuth", type=float, default=35.0)
    parser.add_argument("--elevation", type=float, default=20.0)
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.lower().split("x"))
    triangles, materials = read_obj(args.obj)
    if not triangles:
        raise SystemExit(f"{args.obj}: no triangles to draw")
    big = render(triangles, materials, 2 * width, 2 * height, args.azimuth, args.elevation)
    small = []
    for y in range(height):
        for x in range(width):
            block = [big[(2 * y + j) * 2 * width + 2 * x + i] for j in (0, 1) for i in (0, 1)]
            small.append(tuple(sum(p[c] for p in block) / 4 for c in range(3)))
    write_png(args.png, width, height, small)


if __name__ == "__main__":
    main()
