#!/usr/bin/python3
"""Draw the program's icon for the desktop in the hicolor sizes.

Usage: draw_icons.py [output folder]   (default: packaging/icons beside the resources)

The icon is the logo of the title bar (draw_skin.draw_logo): the face inside the
corner marks of a recognition frame, on a rounded tile in the window colour. It is
drawn once, large, and reduced to each size, so every size comes from the same
drawing. Writes <size>x<size>/apps/galvorn.png; running it again reproduces the
committed files byte for byte.
"""

import pathlib
import sys

from PIL import Image

import draw_skin

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

# The tile is drawn on a grid of GRID final pixels at a scale that gives a picture of
# at least the largest size; the logo fills it as it fills the title bar's 57 pixels.
GRID = 48
SCALE = 32


def tile():
    draw_skin.SCALE = SCALE
    background = draw_skin.Canvas(GRID, GRID)
    background.rounded(1, 1, GRID - 1, GRID - 1, 8, fill=draw_skin.WINDOW_BACKGROUND + (255,))
    # The logo cuts its gaps out of what lies below it, so it gets a layer of its own.
    logo = draw_skin.Canvas(GRID, GRID)
    draw_skin.draw_logo(logo, GRID / 2, GRID / 2 - 0.5)
    return Image.alpha_composite(background.image, logo.image).convert("RGBa")


def main(arguments):
    default = pathlib.Path(__file__).resolve().parents[2] / "packaging" / "icons"
    out = pathlib.Path(arguments[1]) if len(arguments) > 1 else default
    large = tile()
    for size in SIZES:
        folder = out / f"{size}x{size}" / "apps"
        folder.mkdir(parents=True, exist_ok=True)
        icon = large.resize((size, size), Image.BOX).convert("RGBA")
        icon.save(folder / "galvorn.png", "PNG", optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
