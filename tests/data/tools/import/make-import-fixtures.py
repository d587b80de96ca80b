#!/usr/bin/env python3
"""Writes the model fixtures of the import tests into OUTDIR:
  checker.png                 2x2 RGB base-colour texture (red, green / blue, white)
  normal.png                  1x1 normal map of a slope rising towards the top of the picture,
                              as modelling tools write it (green: y up the picture)
  fixture.gltf + fixture.bin  glTF 2.0, texture as a file beside it
  fixture.glb                 glTF 2.0 binary, texture inside the file
  fixture.obj + fixture.mtl   OBJ with the same two materials
  expected.txt                the triangles the importer must keep, per material, in the
                              files' own frame: "tri x y z u v x y z u v x y z u v"
                              (u v are "- -" for the material without coordinates)
  lines.obj                   a model with no triangles (only a line)
Both models hold a box (2 x 1 x 1, material "Stone Box", textured and with the normal map,
one repeat per face),
a floor quad below it (4 x 3, material "Red", no texture coordinates), and one repeated
and one degenerate triangle in the box, which the importer drops.
Python 3 standard library only.
  make-import-fixtures.py OUTDIR"""
import json
import os
import struct
import sys
import zlib


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def box_faces(lo, hi):
    """Quads of the box, corners counter-clockwise seen from outside, uv per corner."""
    centre = tuple((a + b) / 2 for a, b in zip(lo, hi))
    faces = []
    for axis in range(3):
        for side in (lo, hi):
            others = [a for a in range(3) if a != axis]
            corners = []
            for s, t in ((0, 0), (1, 0), (1, 1), (0, 1)):
                p = [0.0, 0.0, 0.0]
                p[axis] = side[axis]
                p[others[0]] = (lo, hi)[s][others[0]]
                p[others[1]] = (lo, hi)[t][others[1]]
                corners.append(tuple(p))
            n = cross(sub(corners[1], corners[0]), sub(corners[2], corners[0]))
            outward = sub(corners[0], centre)
            if sum(a * b for a, b in zip(n, outward)) < 0:
                corners.reverse()
            faces.append(list(zip(corners, ((0, 0), (1, 0), (1, 1), (0, 1)))))
    return faces


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    texture = png(2, 2, [[255, 0, 0, 0, 255, 0], [0, 0, 255, 255, 255, 255]])
    with open(os.path.join(out, "checker.png"), "wb") as f:
        f.write(texture)
    # The slope's normal (0, -0.6, 0.8) leans down the picture: rgb = n * 0.5 + 0.5.
    normal_map = png(1, 1, [[128, 51, 230]])
    with open(os.path.join(out, "normal.png"), "wb") as f:
        f.write(normal_map)

    # Box: 4 vertices per face, two triangles each; then a repeat and a degenerate one.
    box_vertices, box_uvs, box_indices, kept = [], [], [], []
    for face in box_faces((0.0, 0.0, 0.0), (2.0, 1.0, 1.0)):
        base = len(box_vertices)
        for p, uv in face:
            box_vertices.append(p)
            box_uvs.append(uv)
        for tri in ((0, 1, 2), (0, 2, 3)):
            box_indices.append(tuple(base + i for i in tri))
            kept.append(box_indices[-1])
    box_indices.append(box_indices[0])                        # repeated
    box_indices.append((box_indices[0][0], box_indices[0][0], box_indices[0][1]))  # degenerate
    floor_vertices = [(-1.0, -0.5, -1.0), (-1.0, -0.5, 2.0), (3.0, -0.5, 2.0), (3.0, -0.5, -1.0)]
    floor_indices = [(0, 1, 2), (0, 2, 3)]

    with open(os.path.join(out, "expected.txt"), "w") as f:
        f.write("material StoneBox\n")
        for tri in kept:
            f.write("tri" + "".join(" %g %g %g %g %g" % (box_vertices[i] + box_uvs[i]) for i in tri) + "\n")
        f.write("material Red\n")
        for tri in floor_indices:
            f.write("tri" + "".join(" %g %g %g - -" % floor_vertices[i] for i in tri) + "\n")

    # glTF: one buffer holding both meshes' data (and, for .glb, the picture).
    blob = bytearray()
    views, accessors = [], []

    def add(data, target=None):
        while len(blob) % 4:
            blob.append(0)
        view = {"buffer": 0, "byteOffset": len(blob), "byteLength": len(data)}
        if target:
            view["target"] = target
        blob.extend(data)
        views.append(view)
        return len(views) - 1

    def accessor(values, kind, component, count_per):
        flat = [x for v in values for x in (v if isinstance(v, tuple) else (v,))]
        fmt = {5126: "f", 5125: "I"}[component]
        view = add(struct.pack("<%d%s" % (len(flat), fmt), *flat), 34962 if component == 5126 else 34963)
        acc = {"bufferView": view, "componentType": component, "count": len(values), "type": kind}
        if kind == "VEC3":
            acc["min"] = [min(v[i] for v in values) for i in range(3)]
            acc["max"] = [max(v[i] for v in values) for i in range(3)]
        accessors.append(acc)
        return len(accessors) - 1

    box_pos = accessor(box_vertices, "VEC3", 5126, 3)
    box_uv = accessor(box_uvs, "VEC2", 5126, 2)
    box_idx = accessor([i for t in box_indices for i in t], "SCALAR", 5125, 1)
    floor_pos = accessor(floor_vertices, "VEC3", 5126, 3)
    floor_idx = accessor([i for t in floor_indices for i in t], "SCALAR", 5125, 1)
    geometry_size = len(blob)
    picture_view = add(texture)
    normal_view = add(normal_map)

    def document(embedded):
        doc = {
            "asset": {"version": "2.0", "generator": "make-import-fixtures.py"},
            "scene": 0,
            "scenes": [{"nodes": [0]}],
            "nodes": [{"mesh": 0}],
            "meshes": [{"primitives": [
                {"attributes": {"POSITION": box_pos, "TEXCOORD_0": box_uv}, "indices": box_idx,
                 "material": 0},
                {"attributes": {"POSITION": floor_pos}, "indices": floor_idx, "material": 1}]}],
            "materials": [
                {"name": "Stone Box", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0},
                                                               "metallicFactor": 0.0},
                 "normalTexture": {"index": 1}},
                {"name": "Red", "pbrMetallicRoughness": {"baseColorFactor": [1, 0, 0, 1],
                                                         "metallicFactor": 0.0}}],
            "textures": [{"source": 0}, {"source": 1}],
            "images": [{"bufferView": picture_view, "mimeType": "image/png"},
                       {"bufferView": normal_view, "mimeType": "image/png"}] if embedded
                      else [{"uri": "checker.png"}, {"uri": "normal.png"}],
            "accessors": accessors,
            "bufferViews": views if embedded else views[:picture_view],
            "buffers": [{"byteLength": len(blob) if embedded else geometry_size}],
        }
        if not embedded:
            doc["buffers"][0]["uri"] = "fixture.bin"
        return doc

    with open(os.path.join(out, "fixture.bin"), "wb") as f:
        f.write(blob[:geometry_size])
    with open(os.path.join(out, "fixture.gltf"), "w") as f:
        json.dump(document(False), f, indent=1)
    text = json.dumps(document(True)).encode()
    text += b" " * (-len(text) % 4)
    binary = bytes(blob) + b"\0" * (-len(blob) % 4)
    with open(os.path.join(out, "fixture.glb"), "wb") as f:
        f.write(struct.pack("<III", 0x46546C67, 2, 12 + 8 + len(text) + 8 + len(binary)))
        f.write(struct.pack("<II", len(text), 0x4E4F534A) + text)
        f.write(struct.pack("<II", len(binary), 0x004E4942) + binary)

    # OBJ keeps v pointing up the picture: the file holds 1 - v.
    with open(os.path.join(out, "fixture.mtl"), "w") as f:
        f.write("newmtl StoneBox\nKd 1 1 1\nmap_Kd checker.png\nnorm normal.png\n\n"
                "newmtl Red\nKd 1 0 0\n")
    with open(os.path.join(out, "fixture.obj"), "w") as f:
        f.write("mtllib fixture.mtl\no fixture\n")
        for p in box_vertices + floor_vertices:
            f.write("v %g %g %g\n" % p)
        for u, v in box_uvs:
            f.write("vt %g %g\n" % (u, 1 - v))
        f.write("usemtl StoneBox\n")
        for tri in box_indices:
            f.write("f" + "".join(" %d/%d" % (i + 1, i + 1) for i in tri) + "\n")
        f.write("usemtl Red\n")
        n = len(box_vertices)
        for tri in floor_indices:
            f.write("f" + "".join(" %d" % (n + i + 1) for i in tri) + "\n")
    with open(os.path.join(out, "lines.obj"), "w") as f:
        f.write("v 0 0 0\nv 1 0 0\nv 1 1 0\nl 1 2 3\n")


if __name__ == "__main__":
    main()
