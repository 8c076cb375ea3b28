#!/usr/bin/env python3
"""Draws the Brisk Notes icon (a note pad and a pencil) in the 16 colours
that Windows 95 and NT 4 show everywhere, with the engine's icon writer
(resources/make_art.py), and writes BriskNotes.ico beside this script:

    make_icon.py [PREVIEW.png]
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "resources"))
import make_art  # noqa: E402

WHITE, GREY, BLUE, RED = (255, 255, 255), (192, 192, 192), (0, 0, 128), (255, 0, 0)
YELLOW, OLIVE, BLACK = (255, 255, 0), (128, 128, 0), (0, 0, 0)
make_art.OUTLINE = BLACK
make_art.SHAPES = [
    (GREY, [(6, 4), (24, 4), (24, 30), (6, 30)]),                     # the pad's shadow side
    (WHITE, [(5, 3), (23, 3), (23, 29), (5, 29)]),                    # the page
    (RED, [(5, 3), (23, 3), (23, 7), (5, 7)]),                        # the binding
] + [(BLUE, [(8, y), (20, y), (20, y + 1.2), (8, y + 1.2)]) for y in (11, 15, 19, 23)] + [
    (OLIVE, [(27, 9), (31, 13), (17, 27), (13, 23)]),                 # the pencil
    (YELLOW, [(27, 9), (29, 11), (15, 25), (13, 23)]),
    (BLACK, [(13, 23), (17, 27), (11, 29)]),                          # its point
]


def main():
    images = [(size, 4, make_art.icon_image(make_art.render(size), 4, make_art.VGA)) for size in (32, 16)]
    make_art.write_icon(os.path.join(HERE, "BriskNotes.ico"), images)
    if len(sys.argv) == 2:
        make_art.write_png(sys.argv[1], make_art.render(32), 8)


if __name__ == "__main__":
    main()
