#!/usr/bin/env python3
"""Times a plain reference run of the same graph segmentation (Felzenszwalb and
Huttenlocher, as scikit-image implements it) on the reduced copies that
`bench_subject --dump-reduced DIR` wrote, for comparison with BM_Segmentation.

Usage: bench/reference_segmentation.py DIR   (needs Debian's python3-skimage)

The parameters match ours where the two implementations allow: scale k = 50,
no smoothing (sigma 0), the same smallest region size. scikit-image weighs an
edge by the Euclidean colour distance (0..255 scale) and links each pixel to
eight neighbours, where ours takes the largest channel difference over four,
so the region counts differ somewhat; the work per pixel is comparable.
"""
import glob
import os
import sys
import time

import numpy as np
from skimage.segmentation import felzenszwalb


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(maxsplit=4)
    width, height = int(parts[1]), int(parts[2])
    pixels = np.frombuffer(parts[4][: width * height * 3], dtype=np.uint8)
    return pixels.reshape(height, width, 3)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for path in sorted(glob.glob(os.path.join(sys.argv[1], "*.ppm"))):
        image = read_ppm(path)
        min_size = max(image.shape[0] * image.shape[1] // 12000, 10)
        felzenszwalb(image, scale=50, sigma=0, min_size=min_size)  # warm-up
        runs = 10
        start = time.perf_counter()
        for _ in range(runs):
            labels = felzenszwalb(image, scale=50, sigma=0, min_size=min_size)
        ms = (time.perf_counter() - start) * 1000 / runs
        print(f"{os.path.basename(path):45s} {image.shape[1]}x{image.shape[0]}  "
              f"{ms:6.1f} ms  {labels.max() + 1} regions")


if __name__ == "__main__":
    main()
