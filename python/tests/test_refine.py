"""vemra.refine checked with NumPy alone: conforming, the size bound, areas, origins."""

import threading
import time

import numpy as np
import pytest

import vemra


def icosphere(levels):
    t = (1 + 5**0.5) / 2
    points = [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t),
              (0, -1, -t), (0, 1, -t), (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]
    points = [np.array(p, float) / np.linalg.norm(p) for p in points]
    faces = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9),
             (5, 11, 4), (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2),
             (3, 2, 6), (3, 6, 8), (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10),
             (8, 6, 7), (9, 8, 1)]
    for _ in range(levels):
        middle = {}

        def mid(a, b):
            key = (min(a, b), max(a, b))
            if key not in middle:
                p = points[a] + points[b]
                points.append(p / np.linalg.norm(p))
                middle[key] = len(points) - 1
            return middle[key]

        faces = [f for a, b, c in faces for f in
                 ((a, mid(a, b), mid(c, a)), (b, mid(b, c), mid(a, b)),
                  (c, mid(c, a), mid(b, c)), (mid(a, b), mid(b, c), mid(c, a)))]
    return np.array(points), np.array(faces), None


def cube():
    """A unit cube, each face a patch of two triangles, outward."""
    points = np.array([(x, y, z) for x in (0, 1) for y in (0, 1) for z in (0, 1)], float)
    quads = [(0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6), (0, 2, 6, 4),
             (1, 5, 7, 3)]
    triangles = [t for a, b, c, d in quads for t in ((a, b, c), (a, c, d))]
    return points, np.array(triangles), np.repeat(np.arange(6) * 10, 2)


def areas(points, triangles):
    p = points[triangles]
    if p.shape[2] == 2:
        p = np.concatenate([p, np.zeros(p.shape[:2] + (1,))], axis=2)
    return 0.5 * np.linalg.norm(np.cross(p[:, 1] - p[:, 0], p[:, 2] - p[:, 0]), axis=1)


def edges(triangles):
    """Every directed edge (a, b) of every triangle, with the triangle's row."""
    directed = triangles[:, [0, 1, 1, 2, 2, 0]].reshape(-1, 2)
    return directed, np.repeat(np.arange(len(triangles)), 3)


def border_length(points, triangles, patches):
    """Per patch, the length of its edges that no other triangle of the patch holds."""
    directed, rows = edges(triangles)
    labels = patches[rows]
    key = {}
    for (a, b), label in zip(map(tuple, np.sort(directed, axis=1)), labels):
        key[(a, b, label)] = key.get((a, b, label), 0) + 1
    lengths = {}
    for (a, b, label), count in key.items():
        if count == 1:
            lengths[label] = lengths.get(label, 0) + np.linalg.norm(points[a] - points[b])
    return lengths


def check(result, points, triangles, patches, size_at):
    out_points, out_triangles = result.points, result.triangles
    out_patches = result.patches
    patches = np.zeros(len(triangles), np.int64) if patches is None else np.asarray(patches)
    assert out_triangles.dtype == np.int64 and out_triangles.shape[1] == 3
    # One point per place: a vertex on a line is one vertex.
    assert len(np.unique(out_points, axis=0)) == len(out_points)
    # Closed inputs: every edge held by two triangles, run once each way.
    directed, _ = edges(out_triangles)
    assert len(np.unique(directed, axis=0)) == len(directed)
    undirected, counts = np.unique(np.sort(directed, axis=1), axis=0, return_counts=True)
    assert (counts == 2).all()
    # No T-junction: each patch's border is as long as before.
    before = border_length(points, triangles, patches)
    after = border_length(out_points, out_triangles, out_patches)
    assert before.keys() == after.keys()
    for label in before:
        assert after[label] == pytest.approx(before[label], rel=1e-12)
    # The size bound, on every triangle's longest edge.
    corners = out_points[out_triangles]
    for i in range(3):
        a, b = corners[:, i], corners[:, (i + 1) % 3]
        length = np.linalg.norm(a - b, axis=1)
        sizes = np.array([size_at(m) for m in (a + b) / 2])
        assert (length <= 2 * sizes * (1 + 1e-12)).all()
    # Areas per patch, and each input triangle covered by the triangles it holds.
    out_areas = areas(out_points, out_triangles)
    in_areas = areas(np.asarray(points, float), triangles)
    for label in np.unique(patches):
        assert out_areas[out_patches == label].sum() == pytest.approx(
            in_areas[patches == label].sum(), rel=1e-12)
    covered = np.bincount(result.origin, weights=out_areas, minlength=len(triangles))
    np.testing.assert_allclose(covered, in_areas, rtol=1e-9)
    assert (patches[result.origin] == out_patches).all()


grid_values = np.fromfunction(lambda i, j, k: 0.05 + 0.02 * i, (5, 5, 5))
SIZES = {
    "number": (0.1, lambda p: 0.1),
    "expression": ("0.05 + 0.1*abs(x)", lambda p: 0.05 + 0.1 * abs(p[0])),
    "callable": (lambda p: 0.05 + 0.1 * abs(p[0]), lambda p: 0.05 + 0.1 * abs(p[0])),
    "grid": (vemra.SizeGrid([-1.5, -1.5, -1.5], [0.75, 0.75, 0.75], grid_values),
             lambda p: 0.05 + 0.02 * (p[0] + 1.5) / 0.75),
}


@pytest.mark.parametrize("model", [lambda: icosphere(1), cube])
@pytest.mark.parametrize("size", SIZES.keys())
@pytest.mark.parametrize("order", ["banded", "exact"])
def test_refined_models_are_conforming_and_meet_the_size(model, size, order):
    points, triangles, patches = model()
    size_argument, size_at = SIZES[size]
    result = vemra.refine(points, triangles, patches, size=size_argument, order=order)
    assert result.stats["triangles_after"] == len(result.triangles) > len(triangles)
    assert result.stats["min_angle_after"] >= result.stats["min_angle_before"] / 2
    check(result, points, triangles, patches, size_at)


def test_the_same_result_on_any_number_of_threads():
    points, triangles, patches = icosphere(2)
    results = [vemra.refine(points, triangles, size=0.05, threads=n) for n in (1, 2, 4)]
    for other in results[1:]:
        np.testing.assert_array_equal(other.points, results[0].points)
        np.testing.assert_array_equal(other.triangles, results[0].triangles)


def test_a_pinched_vertex_is_one_point():
    points = np.array([(0, 0), (1, 0), (0, 1), (-1, 0), (0, -1)], float)
    triangles = np.array([(0, 1, 2), (0, 3, 4)])
    result = vemra.refine(points, triangles, size=0.1, section=True)
    assert result.points.shape[1] == 2
    assert len(np.unique(result.points, axis=0)) == len(result.points)
    assert (result.points == 0).all(axis=1).sum() == 1
    np.testing.assert_allclose(areas(result.points, result.triangles).sum(), 1.0)


def test_progress_stops_early_with_a_valid_model():
    points, triangles, patches = cube()
    calls = []

    def progress(splits, triangle_count):
        calls.append((splits, triangle_count))
        return False

    result = vemra.refine(points, triangles, patches, size=0.01, progress=progress)
    assert result.stats["stopped"]
    assert calls[0] == (0, len(triangles))
    assert len(result.triangles) == len(triangles)


def test_a_second_thread_runs_during_a_refinement():
    points, triangles, _ = icosphere(3)
    ticks = 0
    running = True

    def count():
        nonlocal ticks
        while running:
            ticks += 1

    def rate():
        nonlocal ticks, running
        ticks, running = 0, True
        thread = threading.Thread(target=count)
        thread.start()
        start = time.perf_counter()
        return thread, start

    thread, start = rate()
    time.sleep(0.2)
    running = False
    thread.join()
    alone = ticks / (time.perf_counter() - start)

    thread, start = rate()
    result = vemra.refine(points, triangles, size=0.004)
    elapsed = time.perf_counter() - start
    during = ticks / elapsed
    running = False
    thread.join()
    assert len(result.triangles) > 100_000
    # Holding the GIL all along would leave the counter a few percent of its pace.
    assert during > 0.3 * alone


square = (np.array([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)], float),
          np.array([(0, 1, 2), (0, 2, 3)]))
BAD = [
    ("points of two columns", dict(points=square[0][:, :2]), ValueError, "shape (n, 3)"),
    ("complex points", dict(points=square[0] + 0j), ValueError, "not dtype complex128"),
    ("a point not finite", dict(points=np.where(square[0] == 1, np.nan, square[0])),
     ValueError, "points[1] is not finite"),
    ("float triangles", dict(triangles=square[1] * 1.0), ValueError, "expected (m, 3) integers"),
    ("an index out of range", dict(triangles=np.array([(0, 1, 2), (0, 2, 4)])), ValueError,
     "triangles[1, 2] = 4 is out of range for 4 points"),
    ("a negative index", dict(triangles=np.array([(0, 1, 2), (0, 2, -1)])), ValueError,
     "out of range"),
    ("no triangle", dict(triangles=np.zeros((0, 3), int)), ValueError, "no triangle"),
    ("a triangle repeating a vertex", dict(triangles=np.array([(0, 1, 2), (0, 2, 2)])),
     ValueError, "repeats"),
    ("opposite orientations", dict(triangles=np.array([(0, 1, 2), (0, 3, 2)])), ValueError,
     "oriented"),
    ("patches of another length", dict(patches=[0]), ValueError, "1 labels for 2 triangles"),
    ("a size of zero", dict(size=0), ValueError, "positive, finite"),
    ("a size not a number", dict(size=[0.1]), TypeError, "expected a number"),
    ("a bad expression", dict(size="0.1 +"), ValueError, "size"),
    ("an expression negative somewhere", dict(size="0.1 - x"), ValueError,
     "a size must be a positive, finite number"),
    ("a callable returning NaN", dict(size=lambda p: float("nan")), ValueError, "size"),
    ("a callable returning text", dict(size=lambda p: "big"), TypeError, "not a number"),
    ("a callable that raises", dict(size=lambda p: 1 / 0), ZeroDivisionError, "division"),
    ("a grid too small", dict(size=vemra.SizeGrid([0, 0, 0], [0.1] * 3, np.ones((2, 2, 2)))),
     ValueError, "outside the grid"),
    ("a 2-D grid for a 3-D model", dict(size=vemra.SizeGrid([0, 0], [1, 1], np.ones((2, 2)))),
     ValueError, "2 axes"),
    ("an unknown order", dict(order="random"), ValueError, "banded"),
    ("no thread", dict(threads=0), ValueError, "threads"),
    ("a progress that raises", dict(progress=lambda s, t: [][1]), IndexError, "index"),
    ("a face and its reverse", dict(triangles=np.array([(0, 1, 2), (0, 2, 1)])), ValueError,
     "triangles 0 and 1 have the same three vertices"),
    ("three points on a line", dict(points=np.array([(0, 0, 0), (1, 0, 0), (2, 0, 0), (0, 1, 0)],
                                                    float)), ValueError, "triangles[0] has no area"),
    ("too many threads", dict(threads=10_000_000), ValueError, "threads: from 1 to 1024"),
    ("too many triangles", dict(size=1e-6), ValueError, "more than max_triangles"),
    ("a size too small to count", dict(size=1e-300), ValueError,
     "about uncountably many triangles expected"),
    ("a limit reached", dict(size="abs(x - 2/3) + abs(y - 1/3) < 0.01 || "
                             "abs(x - 1/3) + abs(y - 2/3) < 0.01 ? 1 : 0.01",
                             max_triangles=1000), ValueError, "stopped at"),
    ("coordinates past precision", dict(points=square[0] * 1e200, size=1e199), ValueError,
     "does not meet the size"),
    ("an index past int64", dict(triangles=np.array([(0, 1, 2), (0, 2, 2**64 - 1)], np.uint64)),
     ValueError, "18446744073709551615 is out of range"),
    ("a size array", dict(size=np.array([0.1])), TypeError, "expected a number"),
    ("a callable returning True", dict(size=lambda p: True), TypeError, "not a number"),
    ("an expression error", dict(size="0.1 + w"), ValueError, "size: "),
]


@pytest.mark.parametrize("name, change, error, words", BAD, ids=[b[0] for b in BAD])
def test_bad_input_raises_with_the_library_message(name, change, error, words):
    arguments = dict(points=square[0], triangles=square[1], size=0.1)
    arguments.update(change)
    with pytest.raises(error) as raised:
        vemra.refine(**arguments)
    assert words in str(raised.value)


@pytest.mark.parametrize("values, words", [
    (np.zeros((2, 2, 2)), "values[0, 0, 0] = 0"),
    (np.ones(3), "2 or 3 axes"),
    (np.ones((2, 2, 2)) + 1j, "real numbers, not dtype complex128"),
])
def test_size_grids_refuse_bad_values(values, words):
    """Values must be real, positive and finite, on 2 or 3 axes."""
    with pytest.raises(ValueError, match=words.replace("[", r"\[")):
        vemra.SizeGrid([0] * max(values.ndim, 2), [1] * max(values.ndim, 2), values)


@pytest.mark.parametrize("extension", ["obj", "vtp", "ts", "msh"])
def test_write_then_read_gives_the_model_back(tmp_path, extension):
    points, triangles, patches = cube()
    path = str(tmp_path / f"cube.{extension}")
    vemra.write(path, points, triangles, patches)
    if extension in ("vtp", "msh"):
        return  # written for other programs: no reader here
    read_points, read_triangles, read_patches = vemra.read(path)
    assert len(read_triangles) == len(triangles)
    assert len(np.unique(read_patches)) == 6
    np.testing.assert_allclose(areas(read_points, read_triangles).sum(), 6.0)


def test_written_labels_read_back_as_names(tmp_path):
    points, triangles, patches = cube()
    path = tmp_path / "cube.obj"
    vemra.write(path, points, triangles, patches)  # any os.PathLike
    _, _, read_patches, names = vemra.read(path, names=True)
    np.testing.assert_array_equal(np.array(names, int)[read_patches], patches)


def test_read_and_write_refuse_what_they_cannot_do(tmp_path):
    (tmp_path / "folder.obj").mkdir()
    with pytest.raises(ValueError, match="a folder, not a mesh file"):
        vemra.read(str(tmp_path / "folder.obj"))
    (tmp_path / "folder.obj").rmdir()
    with pytest.raises(FileNotFoundError):
        vemra.read(str(tmp_path / "missing.obj"))
    bad = tmp_path / "bad.obj"
    bad.write_text("v 0 0 0\nv 1 0 0\nf 1 2 3\n")
    with pytest.raises(ValueError, match="bad.obj:3"):
        vemra.read(str(bad))
    with pytest.raises(ValueError, match="extension"):
        vemra.write(str(tmp_path / "cube.stl"), *cube())
    assert sorted(p.name for p in tmp_path.iterdir()) == ["bad.obj"]


def test_exhausted_memory_is_a_memory_error_and_the_interpreter_survives():
    # In a child whose address space is capped: the refinement asked for would need
    # gigabytes.
    script = """
import resource, numpy as np, vemra
from test_refine import icosphere
points, triangles, _ = icosphere(2)
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
with open("/proc/self/statm") as statm:
    used = int(statm.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (used + (400 << 20), hard))
try:
    vemra.refine(points, triangles, size=1e-5, max_triangles=1e12)
    print("refined")
except MemoryError:
    print("MemoryError")
print(len(vemra.refine(points, triangles, size=0.1).triangles) > 0)
"""
    import os
    import subprocess
    import sys
    child = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                           env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)),
                           cwd=os.path.dirname(__file__), timeout=300)
    assert child.returncode == 0, child.stderr
    assert child.stdout.split() == ["MemoryError", "True"]


def distance_to_triangles(p, a, b, c):
    """Distance from point p to the nearest of the triangles (a[i], b[i], c[i])."""
    n = np.cross(b - a, c - a)
    n = n / np.linalg.norm(n, axis=1)[:, None]
    height = np.einsum("ij,ij->i", p - a, n)
    q = p - height[:, None] * n
    v0, v1, v2 = b - a, c - a, q - a
    d00, d01, d11 = (np.einsum("ij,ij->i", x, y) for x, y in ((v0, v0), (v0, v1), (v1, v1)))
    d20, d21 = np.einsum("ij,ij->i", v2, v0), np.einsum("ij,ij->i", v2, v1)
    den = d00 * d11 - d01 * d01
    v, w = (d11 * d20 - d01 * d21) / den, (d00 * d21 - d01 * d20) / den
    inside = (v >= -1e-12) & (w >= -1e-12) & (v + w <= 1 + 1e-12)

    def segment(x, y):
        t = np.clip(np.einsum("ij,ij->i", p - x, y - x) / np.einsum("ij,ij->i", y - x, y - x),
                    0, 1)
        return np.linalg.norm(p - (x + t[:, None] * (y - x)), axis=1)
    edge = np.minimum(np.minimum(segment(a, b), segment(b, c)), segment(c, a))
    return np.where(inside, np.abs(height), edge).min()


@pytest.mark.parametrize("model", [lambda: icosphere(2), cube])
def test_remeshed_models_are_conforming_on_the_input_and_at_the_size(model):
    points, triangles, patches = model()
    result = vemra.remesh(points, triangles, patches, size=0.12)
    out_points, out_triangles = result.points, result.triangles
    assert len(np.unique(out_points, axis=0)) == len(out_points)
    directed, _ = edges(out_triangles)
    assert len(np.unique(directed, axis=0)) == len(directed)
    _, counts = np.unique(np.sort(directed, axis=1), axis=0, return_counts=True)
    assert (counts == 2).all()
    # Every vertex on the input surface.
    a, b, c = (points[triangles[:, i]] for i in range(3))
    for p in out_points:
        assert distance_to_triangles(p, a, b, c) <= 1e-9
    # Edge lengths about the size.
    lengths = np.linalg.norm(out_points[directed[:, 0]] - out_points[directed[:, 1]], axis=1)
    ratio = np.sort(lengths / 0.12)
    assert ratio[int(0.025 * len(ratio))] >= 0.6 and ratio[int(0.975 * len(ratio))] <= 1.5
    # Each triangle's origin is an input triangle of its patch, under its centroid on flat
    # patches.
    labels = np.zeros(len(triangles), int) if patches is None else patches
    assert (labels[result.origin] == result.patches).all()
    if patches is not None:
        centroids = out_points[out_triangles].mean(axis=1)
        for centroid, origin in zip(centroids, result.origin):
            corners = points[triangles[origin]][:, None, :]
            assert distance_to_triangles(centroid, *corners) <= 1e-9
    assert result.stats["angles_after"]["median"] >= 55


def test_coarsening_is_not_refused_by_a_limit_it_stays_under():
    n = 40
    xs = np.linspace(0, 1, n + 1)
    points = np.array([(x, y, 0) for y in xs for x in xs])
    cells = [(j * (n + 1) + i, j * (n + 1) + i + 1, (j + 1) * (n + 1) + i + 1,
              (j + 1) * (n + 1) + i) for j in range(n) for i in range(n)]
    triangles = np.array([t for a, b, c, d in cells for t in ((a, b, c), (a, c, d))])
    result = vemra.remesh(points, triangles, size=0.1, max_triangles=1000)
    assert len(result.triangles) < 1000 < len(triangles)
