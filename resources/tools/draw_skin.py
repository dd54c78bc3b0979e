#!/usr/bin/python3
"""Draw the skin pictures that the program compiles in under ":/skin/".

Usage: draw_skin.py [output folder]   (default: resources/skin beside this tools folder)

Every picture is drawn at four times its size and reduced, so that curves and
diagonals come out anti-aliased; straight strokes are placed on whole pixels
so that they stay sharp. The look is flat and dark with the accent blue
rgb(0,153,255). Drawing is deterministic: running the script again reproduces
the committed files byte for byte.

Strips hold the states of one control side by side:
  - window buttons (66x22): normal, hover, pressed;
  - tick and radio boxes (52x13): normal, hover, pressed, disabled; each state is
    also written as a picture of its own (for example ckb_checked_hover.png),
    because style-sheet indicator rules cannot crop a strip.
"""

import math
import pathlib
import sys

from PIL import Image, ImageDraw

SCALE = 4

ACCENT = (0, 153, 255)
ACCENT_LIGHT = (64, 178, 255)
ACCENT_DARK = (0, 118, 204)
WHITE = (255, 255, 255)
WINDOW_BACKGROUND = (40, 40, 40)
FIELD_BACKGROUND = (19, 20, 24)
BOX_BORDER = (122, 130, 136)
DISABLED_BORDER = (72, 75, 79)
DISABLED_FILL = (46, 47, 51)
DISABLED_MARK = (120, 120, 120)
HEADER_TEXT = (201, 201, 201)
SCROLL_ARROW = (150, 156, 160)
SCROLL_ARROW_DISABLED = (82, 86, 90)


class Canvas:
    """A picture drawn at SCALE times its size; coordinates are given in final pixels."""

    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.image = Image.new("RGBA", (width * SCALE, height * SCALE), background)
        self.draw = ImageDraw.Draw(self.image)

    @staticmethod
    def p(value):
        return int(round(value * SCALE))

    def box(self, x0, y0, x1, y1):
        return [self.p(x0), self.p(y0), self.p(x1) - 1, self.p(y1) - 1]

    def rect(self, x0, y0, x1, y1, fill):
        """Fills the pixels from (x0, y0) up to, not including, (x1, y1)."""
        self.draw.rectangle(self.box(x0, y0, x1, y1), fill=fill)

    def rounded(self, x0, y0, x1, y1, radius, fill=None, outline=None, width=1):
        self.draw.rounded_rectangle(self.box(x0, y0, x1, y1), radius=self.p(radius), fill=fill,
                                    outline=outline, width=self.p(width) if outline else 0)

    def circle(self, cx, cy, r, fill=None, outline=None, width=1):
        self.draw.ellipse([self.p(cx - r), self.p(cy - r), self.p(cx + r) - 1, self.p(cy + r) - 1],
                          fill=fill, outline=outline, width=self.p(width) if outline else 0)

    def line(self, points, fill, width):
        self.draw.line([(self.p(x), self.p(y)) for x, y in points], fill=fill, width=self.p(width),
                       joint="curve")
        for x, y in (points[0], points[-1]):
            self.circle(x, y, width / 2, fill=fill)

    def polygon(self, points, fill):
        self.draw.polygon([(self.p(x), self.p(y)) for x, y in points], fill=fill)

    def arc(self, cx, cy, r, start, end, fill, width):
        self.draw.arc([self.p(cx - r), self.p(cy - r), self.p(cx + r) - 1, self.p(cy + r) - 1], start, end,
                      fill=fill, width=self.p(width))

    def result(self):
        # Box averaging over premultiplied colour: no ringing, and no dark fringe
        # from the colour of fully transparent pixels.
        reduced = self.image.convert("RGBa").resize((self.width, self.height), Image.BOX)
        return reduced.convert("RGBA")


def strip(pictures):
    width = sum(p.width for p in pictures)
    height = max(p.height for p in pictures)
    result = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    x = 0
    for picture in pictures:
        result.paste(picture, (x, 0))
        x += picture.width
    return result


# ---------------------------------------------------------------- title bar

def title_bar():
    width, height = 436, 57
    c = Canvas(width, height, WINDOW_BACKGROUND + (255,))
    # The left end is a little darker and fades into the window colour long
    # before x = 100, where the program draws the title text.
    for x in range(0, 130):
        t = x / 130
        shade = tuple(int(v * (0.78 + 0.22 * t)) for v in WINDOW_BACKGROUND)
        c.rect(x, 0, x + 1, height, shade + (255,))
    draw_logo(c, 48, 28.5)
    return c.result().convert("RGB")


def draw_logo(c, cx, cy):
    """A face inside the four corner marks of a camera's recognition frame."""
    half = 17
    arm = 7
    stroke = 2.2
    for sx in (-1, 1):
        for sy in (-1, 1):
            corner = (cx + sx * half, cy + sy * half)
            c.line([(corner[0], corner[1] - sy * arm), corner, (corner[0] - sx * arm, corner[1])],
                   ACCENT + (255,), stroke)
    head = (170, 196, 214, 255)
    c.circle(cx, cy - 3.5, 6.5, fill=head)
    c.draw.chord([c.p(cx - 11), c.p(cy + 4), c.p(cx + 11), c.p(cy + 24)], 180, 360, fill=head)
    c.rect(cx - 11, cy + 13.6, cx + 11, cy + 14.6, (0, 0, 0, 0))


# ---------------------------------------------------------------- window buttons

WINDOW_BUTTON = 22


def window_button_state(glyph, state, close):
    c = Canvas(WINDOW_BUTTON, WINDOW_BUTTON)
    if state == "hover":
        c.rounded(0, 0, 22, 22, 2, fill=(232, 54, 54, 255) if close else (255, 255, 255, 46))
    elif state == "pressed":
        c.rounded(0, 0, 22, 22, 2, fill=(176, 30, 30, 255) if close else (255, 255, 255, 24))
    color = (225, 225, 225, 255) if state == "normal" else WHITE + (255,)
    glyph(c, color)
    return c.result()


def glyph_minimize(c, color):
    c.rect(6, 14, 16, 15, color)


def glyph_maximize(c, color):
    c.rect(6, 6, 16, 7, color)
    c.rect(6, 7, 7, 16, color)
    c.rect(15, 7, 16, 16, color)
    c.rect(6, 15, 16, 16, color)
    c.rect(6, 7, 16, 8, color)  # heavier top edge, like a title bar


def glyph_restore(c, color):
    # back window: only its top and right edges show
    c.rect(9, 5, 17, 6, color)
    c.rect(16, 6, 17, 13, color)
    # front window
    c.rect(5, 8, 13, 9, color)
    c.rect(5, 9, 6, 17, color)
    c.rect(12, 9, 13, 17, color)
    c.rect(5, 16, 13, 17, color)
    c.rect(5, 9, 13, 10, color)


def glyph_close(c, color):
    c.line([(6.5, 6.5), (15.5, 15.5)], color, 1.4)
    c.line([(15.5, 6.5), (6.5, 15.5)], color, 1.4)


def window_button(glyph, close=False):
    return strip([window_button_state(glyph, s, close) for s in ("normal", "hover", "pressed")])


# ---------------------------------------------------------------- tick and radio boxes

BOX = 13
BOX_STATES = ("normal", "hover", "pressed", "disabled")


def box_colors(checked, state):
    """Returns (border, fill, mark) for one state of a tick or radio box."""
    if state == "disabled":
        return DISABLED_BORDER, DISABLED_FILL if not checked else (75, 75, 75), DISABLED_MARK
    if not checked:
        border = {"normal": BOX_BORDER, "hover": ACCENT, "pressed": ACCENT_DARK}[state]
        fill = {"normal": FIELD_BACKGROUND, "hover": FIELD_BACKGROUND, "pressed": (12, 44, 70)}[state]
        return border, fill, None
    fill = {"normal": ACCENT, "hover": ACCENT_LIGHT, "pressed": ACCENT_DARK}[state]
    return fill, fill, WHITE


def tick_box(checked, state):
    c = Canvas(BOX, BOX)
    border, fill, mark = box_colors(checked, state)
    c.rounded(0, 0, 13, 13, 2, fill=border + (255,))
    c.rounded(1, 1, 12, 12, 1.2, fill=fill + (255,))
    if checked:
        c.line([(3.2, 6.8), (5.4, 9.0), (9.9, 4.2)], mark + (255,), 1.6)
    return c.result()


def radio_box(checked, state):
    c = Canvas(BOX, BOX)
    border, fill, mark = box_colors(checked, state)
    if checked:
        border = border if state != "disabled" else DISABLED_BORDER
        c.circle(6.5, 6.5, 6.5, fill=border + (255,))
        c.circle(6.5, 6.5, 5.5, fill=FIELD_BACKGROUND + (255,) if state != "disabled" else DISABLED_FILL + (255,))
        c.circle(6.5, 6.5, 3.4, fill=(fill if state != "disabled" else DISABLED_MARK) + (255,))
    else:
        c.circle(6.5, 6.5, 6.5, fill=border + (255,))
        c.circle(6.5, 6.5, 5.5, fill=fill + (255,))
    return c.result()


# ---------------------------------------------------------------- arrows

def sort_arrow(up):
    c = Canvas(9, 5)
    color = HEADER_TEXT + (255,)
    if up:
        c.polygon([(0, 5), (4.5, 0), (9, 5)], color)
    else:
        c.polygon([(0, 0), (9, 0), (4.5, 5)], color)
    return c.result()


def scroll_arrow(direction, color=SCROLL_ARROW):
    c = Canvas(20, 20)
    # a triangle 8 wide and 4.5 deep, centred in the button
    points = {"up": [(6, 12), (10, 7.5), (14, 12)],
              "down": [(6, 8), (14, 8), (10, 12.5)],
              "left": [(12, 6), (12, 14), (7.5, 10)],
              "right": [(8, 6), (8, 14), (12.5, 10)]}[direction]
    c.polygon(points, color + (255,))
    return c.result()


# ---------------------------------------------------------------- message-box kinds

def info_icon():
    c = Canvas(26, 26)
    c.circle(13, 13, 12.5, fill=ACCENT + (255,))
    draw_i(c, 13, 13, 12.5, WHITE + (255,))
    return c.result()


def draw_i(c, cx, cy, r, color):
    """The letter i as a dot over a stem, scaled to a circle of radius r."""
    u = r / 12.5
    c.circle(cx, cy - 5.6 * u, 1.8 * u, fill=color)
    c.rounded(cx - 1.6 * u, cy - 2.0 * u, cx + 1.6 * u, cy + 7.4 * u, 1.0 * u, fill=color)


def information_icon():
    c = Canvas(50, 50)
    c.circle(25, 25, 22, fill=ACCENT + (255,))
    c.circle(25, 25, 22, outline=(120, 200, 255, 255), width=1.2)
    draw_i(c, 25, 25.5, 22, WHITE + (255,))
    return c.result()


def question_icon():
    c = Canvas(50, 50)
    c.circle(25, 25, 22, fill=ACCENT + (255,))
    c.circle(25, 25, 22, outline=(120, 200, 255, 255), width=1.2)
    white = WHITE + (255,)
    # the hook of the question mark, then its stem and dot
    c.arc(25, 19.5, 6.2, 180, 400, white, 3.6)
    end_angle = math.radians(40)
    hook_end = (25 + 6.2 * math.cos(end_angle) - 1.8, 19.5 + 6.2 * math.sin(end_angle) - 1.0)
    c.line([hook_end, (25, 26.6), (25, 28.6)], white, 3.6)
    c.circle(25, 35.2, 2.3, fill=white)
    return c.result()


def error_icon():
    c = Canvas(50, 50)
    c.circle(25, 25, 22, fill=(226, 60, 60, 255))
    c.circle(25, 25, 22, outline=(250, 140, 140, 255), width=1.2)
    white = WHITE + (255,)
    c.line([(17.5, 17.5), (32.5, 32.5)], white, 3.8)
    c.line([(32.5, 17.5), (17.5, 32.5)], white, 3.8)
    return c.result()


def warning_icon():
    c = Canvas(50, 50)
    outline = [(25, 4.5), (47, 43.5), (3, 43.5)]
    c.line(outline + [outline[0]], (255, 186, 0, 255), 5)
    c.polygon(outline, (255, 186, 0, 255))
    dark = (38, 32, 20, 255)
    c.line([(25, 17), (25, 31)], dark, 4.2)
    c.circle(25, 37.2, 2.5, fill=dark)
    return c.result()


# ---------------------------------------------------------------- output

def pictures():
    yield "title_bg.png", title_bar()
    yield "min.png", window_button(glyph_minimize)
    yield "max.png", window_button(glyph_maximize)
    yield "normal.png", window_button(glyph_restore)
    yield "close.png", window_button(glyph_close, close=True)
    for kind, draw_box in (("ckb", tick_box), ("radio", radio_box)):
        for checked in (False, True):
            name = f"{kind}_{'checked' if checked else 'unchecked'}"
            states = [draw_box(checked, state) for state in BOX_STATES]
            yield f"{name}.png", strip(states)
            for state, picture in zip(BOX_STATES, states):
                yield f"{name}_{state}.png", picture
    yield "up_arrow.png", sort_arrow(up=True)
    yield "down_arrow.png", sort_arrow(up=False)
    for direction in ("up", "down", "left", "right"):
        yield f"scroll_{direction}.png", scroll_arrow(direction)
        yield f"scroll_{direction}_disabled.png", scroll_arrow(direction, SCROLL_ARROW_DISABLED)
    yield "info.png", info_icon()
    yield "Warning.png", warning_icon()
    yield "Error.png", error_icon()
    yield "Information.png", information_icon()
    yield "Question.png", question_icon()


def main(arguments):
    out = pathlib.Path(arguments[1]) if len(arguments) > 1 else pathlib.Path(__file__).resolve().parents[1] / "skin"
    out.mkdir(parents=True, exist_ok=True)
    for name, picture in pictures():
        picture.save(out / name, "PNG", optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
