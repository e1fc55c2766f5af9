"""vemra.refine against the refine() call inside it: the icosphere of 20,480 triangles to
3,768,320 at size 0.00225, five runs, medians. Then the price of a callable size.

    PYTHONPATH=build/release/python python3 bench/python_overhead.py
"""

import os
import statistics
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python", "tests"))
import vemra  # noqa: E402
from test_refine import icosphere  # noqa: E402

points, triangles, _ = icosphere(5)
whole, inside = [], []
for _ in range(5):
    result = vemra.refine(points, triangles, size=0.00225)
    whole.append(result.stats["seconds"])
    inside.append(result.stats["fill_seconds"] + result.stats["split_seconds"] +
                  result.stats["clean_seconds"])
print(f"{len(result.triangles)} triangles: the whole call {statistics.median(whole):.3f} s, "
      f"refine() inside {statistics.median(inside):.3f} s, "
      f"{100 * (statistics.median(whole) / statistics.median(inside) - 1):.0f} % more")

points, triangles, _ = icosphere(3)
grid = vemra.SizeGrid([-1.1] * 3, [2.2] * 3, np.full((2, 2, 2), 0.0075))
for name, size in [("number", 0.0075), ("expression", "0.0075"), ("SizeGrid", grid),
                   ("callable", lambda p: 0.0075)]:
    seconds = statistics.median(
        vemra.refine(points, triangles, size=size).stats["seconds"] for _ in range(3))
    print(f"size given as {name}: {seconds:.3f} s")
