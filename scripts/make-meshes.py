#!/usr/bin/env python3
"""Writes the meshes under data/meshes/, all made by the project itself. Run by hand from the
source root (python3 scripts/make-meshes.py); the outputs are checked in.

table.obj     a table, its top and four legs each a closed box, y up, standing on y = 0
gem.obj       a small irregular solid saved four ways, for the test that every format gives the
gem-ascii.stl same triangles bit for bit: its coordinates are exact in single precision, and each
gem-binary.stl file lists the points and the corners of each face in another order
gem.ply
"""
import struct
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "data" / "meshes"

# A box's corners, 0 to 7 as bits of (x, y, z), and its faces, counter-clockwise seen from outside.
BOX_FACES = [(0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6), (0, 2, 6, 4), (1, 5, 7, 3)]


def box(low, high):
    points = [(high[0] if i & 4 else low[0], high[1] if i & 2 else low[1],
               high[2] if i & 1 else low[2]) for i in range(8)]
    triangles = []
    for a, b, c, d in BOX_FACES:
        triangles += [(a, b, c), (a, c, d)]
    return points, triangles


def table():
    top = 1.0
    thick = 0.0625
    leg = 0.0625
    half_x, half_z = 0.75, 0.5
    boxes = [box((-half_x, top - thick, -half_z), (half_x, top, half_z))]
    for sx in (-1, 1):
        for sz in (-1, 1):
            x = sx * (half_x - 2 * leg)
            z = sz * (half_z - 2 * leg)
            boxes.append(box((x - leg / 2, 0.0, z - leg / 2), (x + leg / 2, top - thick, z + leg / 2)))
    lines = ["# A table made by scripts/make-meshes.py: its top and four legs, each a closed box."]
    for n, (points, triangles) in enumerate(boxes):
        lines.append(f"o {'top' if n == 0 else 'leg' + str(n)}")
        lines += [f"v {x:g} {y:g} {z:g}" for x, y, z in points]
        lines += [f"f {' '.join(str(8 * n + i + 1) for i in t)}" for t in triangles]
    (OUT / "table.obj").write_text("\n".join(lines) + "\n")


# An irregular octahedron: six points, eight faces, counter-clockwise seen from outside.
GEM_POINTS = [(0.5, 0.0, 0.0), (-0.75, 0.0, 0.0), (0.0, 1.25, 0.0), (0.0, -0.5, 0.0),
              (0.0, 0.0, 0.375), (0.0, 0.0, -1.0)]
GEM_FACES = [(0, 2, 4), (2, 1, 4), (1, 3, 4), (3, 0, 4), (2, 0, 5), (1, 2, 5), (3, 1, 5), (0, 3, 5)]


def normal(t):
    a, b, c = (GEM_POINTS[i] for i in t)
    u = [b[k] - a[k] for k in range(3)]
    v = [c[k] - a[k] for k in range(3)]
    return (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])


def rotated(t, k):
    return t[k:] + t[:k]


def gem():
    obj = ["# A test solid made by scripts/make-meshes.py."]
    obj += [f"v {x:g} {y:g} {z:g}" for x, y, z in GEM_POINTS]
    obj += [f"f {' '.join(str(i + 1) for i in t)}" for t in GEM_FACES]
    (OUT / "gem.obj").write_text("\n".join(obj) + "\n")

    # Each face from another corner, the faces in reverse order.
    faces = [rotated(t, n % 3) for n, t in enumerate(GEM_FACES)][::-1]
    stl = ["solid gem"]
    for t in faces:
        stl.append("  facet normal %g %g %g" % normal(t))
        stl.append("    outer loop")
        stl += ["      vertex %g %g %g" % GEM_POINTS[i] for i in t]
        stl += ["    endloop", "  endfacet"]
    stl.append("endsolid gem")
    (OUT / "gem-ascii.stl").write_text("\n".join(stl) + "\n")

    data = bytearray(b"gem, made by scripts/make-meshes.py".ljust(80, b" "))
    data += struct.pack("<I", len(faces))
    for t in faces:
        data += struct.pack("<3f", *normal(t))
        for i in t:
            data += struct.pack("<3f", *GEM_POINTS[i])
        data += struct.pack("<H", 0)
    (OUT / "gem-binary.stl").write_bytes(bytes(data))

    # The points in reverse order.
    order = list(range(len(GEM_POINTS)))[::-1]
    where = {p: n for n, p in enumerate(order)}
    ply = ["ply", "format ascii 1.0", "comment made by scripts/make-meshes.py",
           f"element vertex {len(order)}", "property float x", "property float y",
           "property float z", f"element face {len(GEM_FACES)}",
           "property list uchar int vertex_indices", "end_header"]
    ply += ["%g %g %g" % GEM_POINTS[p] for p in order]
    ply += ["3 " + " ".join(str(where[i]) for i in rotated(t, 1)) for t in GEM_FACES]
    (OUT / "gem.ply").write_text("\n".join(ply) + "\n")


if __name__ == "__main__":
    OUT.mkdir(parents=True, exist_ok=True)
    table()
    gem()
