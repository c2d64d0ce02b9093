"""The OpenCV peer of the whole-process benchmark (scripts/bench-cold.sh),
run only where python3-opencv is installed.

    cold_opencv.py IN.bmp OUT.bmp     cv2.imwrite(OUT, cv2.imread(IN, IMREAD_UNCHANGED))
"""
import sys

import cv2


def main(source, target):
    picture = cv2.imread(source, cv2.IMREAD_UNCHANGED)
    if picture is None or not cv2.imwrite(target, picture):
        sys.exit("cold_opencv: cannot convert " + source)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
