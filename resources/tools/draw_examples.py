#!/usr/bin/python3
"""Draw the example batch-add folders: a person table and one cartoon face per person.

Usage: draw_examples.py [repository root]   (default: two levels above this script)

Writes example/en-us, example/zh-cn and example/zh-tw. Each folder gets
person_info.csv (UTF-8 without signature, CRLF line ends, the numbered column
header in the folder's language) and one JPEG per row. The faces are drawn
shapes, not photographs; every person is invented and every phone number has
an obviously fictional form. Drawing is deterministic, so running the script
again reproduces the committed files.
"""

import io
import pathlib
import sys
from dataclasses import dataclass, field

from PIL import Image, ImageChops, ImageDraw

WIDTH, HEIGHT = 320, 400
SCALE = 4  # drawn at four times the size, then reduced, for smooth edges
JPEG_QUALITY = 85
MAX_PICTURE_BYTES = 60 * 1024

SKIN = {
    "light": (246, 214, 190),
    "fair": (236, 196, 160),
    "tan": (212, 160, 118),
    "brown": (163, 112, 76),
    "deep": (112, 72, 48),
}
HAIR = {
    "black": (34, 30, 32),
    "brown": (92, 58, 36),
    "auburn": (140, 62, 34),
    "blond": (214, 176, 98),
    "grey": (160, 160, 166),
    "dark_brown": (58, 40, 30),
}
EYES = {
    "brown": (110, 70, 40),
    "dark": (52, 36, 28),
    "blue": (70, 130, 190),
    "green": (80, 140, 90),
    "hazel": (140, 110, 60),
}


@dataclass
class Face:
    skin: str
    hair: str
    hair_style: str  # short, long, bob, bun, curly, buzz, bald
    eyes: str
    shirt: tuple
    background: tuple
    face_width: int = 94  # half width of the head at picture scale
    extras: set = field(default_factory=set)  # glasses, beard, moustache, blush, freckles, earrings


@dataclass
class Person:
    name: str
    gender: int  # 0 male, 1 female
    birth: str
    list_type: int  # 0 stranger, 1 whitelist, 2 blacklist
    card: str
    phone: str
    remark: str
    picture: str
    face: Face


HEADERS = {
    "en-us": ["Name", "Gender", "Birth date", "List type", "Card number", "Phone", "Remark", "Image name"],
    "zh-cn": ["姓名", "性别", "出生日期", "名单类型", "卡号", "电话", "备注", "图片名称"],
    "zh-tw": ["姓名", "性別", "出生日期", "名單類型", "卡號", "電話", "備註", "圖片名稱"],
}
COLUMN_NUMBERS = ["01", "02", "03", "06", "07", "08", "09", "12"]

FOLDERS = {
    "en-us": [
        Person("Marlow Vance", 0, "1985/04/12", 1, "EX-0001", "555-0101", "Front desk", "marlow_vance.jpg",
               Face("fair", "brown", "short", "blue", (52, 92, 140), (208, 222, 236), 92)),
        Person("Elsie Brannock", 1, "1992/11/03", 1, "EX-0002", "555-0102", "Engineering", "elsie_brannock.jpg",
               Face("light", "auburn", "long", "green", (150, 60, 80), (236, 222, 206), 88, {"freckles", "earrings"})),
        Person("Odell Firthwick", 0, "1971/07/21", 2, "EX-0003", "555-0103", "Badge revoked", "odell_firthwick.jpg",
               Face("deep", "black", "bald", "dark", (70, 70, 78), (214, 206, 226), 98, {"beard", "glasses"})),
        Person("Juniper Castellane", 1, "2001/02/17", 0, "EX-0004", "555-0104", "Visitor", "juniper_castellane.jpg",
               Face("tan", "blond", "bun", "hazel", (46, 140, 120), (246, 232, 200), 90, {"blush"})),
    ],
    "zh-cn": [
        Person("苏沐川", 0, "1988/09/05", 1, "EX-1001", "000-0000-0001", "前台接待", "su_muchuan.jpg",
               Face("fair", "black", "short", "dark", (40, 64, 110), (214, 230, 240), 93, {"glasses"})),
        Person("江芷宁", 1, "1995/03/28", 1, "EX-1002", "000-0000-0002", "研发部", "jiang_zhining.jpg",
               Face("light", "dark_brown", "bob", "brown", (200, 120, 60), (240, 226, 232), 88, {"blush"})),
        Person("韩逸舟", 0, "1979/12/14", 2, "EX-1003", "000-0000-0003", "已禁止通行", "han_yizhou.jpg",
               Face("tan", "grey", "buzz", "brown", (96, 60, 50), (222, 222, 210), 97, {"moustache"})),
        Person("顾清禾", 1, "2003/06/30", 0, "EX-1004", "000-0000-0004", "访客", "gu_qinghe.jpg",
               Face("fair", "black", "long", "dark", (84, 120, 70), (228, 236, 214), 89, {"earrings"})),
    ],
    "zh-tw": [
        Person("溫予晴", 1, "1990/08/19", 1, "EX-2001", "0000-000-001", "櫃檯服務", "wen_yuqing.jpg",
               Face("light", "brown", "curly", "brown", (120, 80, 150), (244, 226, 214), 89, {"blush"})),
        Person("葉承澤", 0, "1983/01/09", 1, "EX-2002", "0000-000-002", "資訊部", "ye_chengze.jpg",
               Face("tan", "black", "short", "dark", (30, 110, 150), (210, 228, 224), 95)),
        Person("范采薇", 1, "1976/10/25", 2, "EX-2003", "0000-000-003", "已停止通行", "fan_caiwei.jpg",
               Face("brown", "black", "bob", "dark", (160, 50, 60), (230, 220, 236), 91, {"glasses", "earrings"})),
        Person("宋景行", 0, "1998/05/02", 0, "EX-2004", "0000-000-004", "訪客", "song_jingxing.jpg",
               Face("fair", "dark_brown", "curly", "hazel", (90, 90, 96), (236, 230, 210), 94, {"freckles"})),
    ],
}


def s(value):
    return int(round(value * SCALE))


def box(cx, cy, rx, ry):
    return [s(cx - rx), s(cy - ry), s(cx + rx), s(cy + ry)]


def shade(color, factor):
    return tuple(max(0, min(255, int(c * factor))) for c in color)


def mix(a, b, t):
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


def ellipse_mask(size, bbox):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).ellipse(bbox, fill=255)
    return mask


def polygon_mask(size, points):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).polygon([(s(x), s(y)) for x, y in points], fill=255)
    return mask


def paint(image, color, mask):
    image.paste(Image.new("RGB", image.size, color), (0, 0), mask)


def draw_background(image, face):
    top = shade(face.background, 1.04)
    bottom = shade(face.background, 0.90)
    draw = ImageDraw.Draw(image)
    for y in range(image.size[1]):
        draw.line([(0, y), (image.size[0], y)], fill=mix(top, bottom, y / image.size[1]))


HEAD_X, HEAD_Y, HEAD_RY = 160, 196, 118


def head_box(face):
    return box(HEAD_X, HEAD_Y, face.face_width, HEAD_RY)


def draw_back_hair(image, face):
    hair = HAIR[face.hair]
    size = image.size
    w = face.face_width
    if face.hair_style == "long":
        mask = ellipse_mask(size, box(HEAD_X, HEAD_Y - 6, w + 22, HEAD_RY + 14))
        mask = ImageChops.lighter(mask, polygon_mask(size, [
            (HEAD_X - w - 22, HEAD_Y - 10), (HEAD_X + w + 22, HEAD_Y - 10),
            (HEAD_X + w + 34, 352), (HEAD_X - w - 34, 352)]))
        paint(image, shade(hair, 0.85), mask)
    elif face.hair_style == "bob":
        mask = ellipse_mask(size, box(HEAD_X, HEAD_Y - 4, w + 20, HEAD_RY + 10))
        mask = ImageChops.lighter(mask, polygon_mask(size, [
            (HEAD_X - w - 20, HEAD_Y - 10), (HEAD_X + w + 20, HEAD_Y - 10),
            (HEAD_X + w + 16, 268), (HEAD_X - w - 16, 268)]))
        paint(image, shade(hair, 0.85), mask)
    elif face.hair_style == "bun":
        ImageDraw.Draw(image).ellipse(box(HEAD_X, 62, 40, 34), fill=shade(hair, 0.95))


def draw_body(image, face):
    draw = ImageDraw.Draw(image)
    skin = SKIN[face.skin]
    shirt = face.shirt
    draw.rectangle([s(HEAD_X - 34), s(270), s(HEAD_X + 34), s(340)], fill=shade(skin, 0.86))
    draw.ellipse(box(HEAD_X, 430, 170, 100), fill=shirt)
    # collar opening
    draw.polygon([(s(HEAD_X - 40), s(334)), (s(HEAD_X + 40), s(334)), (s(HEAD_X), s(378))],
                 fill=shade(skin, 0.86))
    draw.line([(s(HEAD_X - 42), s(332)), (s(HEAD_X), s(380)), (s(HEAD_X + 42), s(332))],
              fill=shade(shirt, 0.7), width=s(4), joint="curve")


def draw_head(image, face):
    draw = ImageDraw.Draw(image)
    skin = SKIN[face.skin]
    w = face.face_width
    for side in (-1, 1):
        draw.ellipse(box(HEAD_X + side * (w - 2), 206, 17, 26), fill=shade(skin, 0.93))
        draw.ellipse(box(HEAD_X + side * (w - 2), 208, 8, 14), fill=shade(skin, 0.82))
    draw.ellipse(head_box(face), fill=skin)
    if "earrings" in face.extras:
        for side in (-1, 1):
            draw.ellipse(box(HEAD_X + side * (w - 2), 240, 5, 5), fill=(232, 196, 70))


def hairline_points(face):
    """The lower edge of the front hair, from the left temple to the right one."""
    w = face.face_width
    left, right = HEAD_X - w - 10, HEAD_X + w + 10
    style = face.hair_style
    if style == "short":
        return [(left, 190), (HEAD_X - w + 8, 130), (HEAD_X - 30, 112), (HEAD_X + 20, 100),
                (HEAD_X + w - 10, 120), (right, 180)]
    if style == "long":
        return [(left, 300), (HEAD_X - w + 12, 160), (HEAD_X - 40, 120), (HEAD_X - 8, 96),
                (HEAD_X + 40, 126), (HEAD_X + w - 10, 160), (right, 300)]
    if style == "bob":
        return [(left, 262), (HEAD_X - w + 10, 150), (HEAD_X - w + 14, 138), (HEAD_X + w - 14, 138),
                (HEAD_X + w - 10, 150), (right, 262)]
    if style == "bun":
        return [(left, 170), (HEAD_X - w + 14, 122), (HEAD_X, 108), (HEAD_X + w - 14, 122), (right, 170)]
    if style == "curly":
        return [(left, 220), (HEAD_X - w + 14, 140), (HEAD_X - 30, 126), (HEAD_X + 30, 126),
                (HEAD_X + w - 14, 140), (right, 220)]
    if style == "buzz":
        return [(left, 170), (HEAD_X - w + 12, 118), (HEAD_X, 104), (HEAD_X + w - 12, 118), (right, 170)]
    return []


def draw_front_hair(image, face):
    if face.hair_style == "bald":
        return
    size = image.size
    w = face.face_width
    hair = HAIR[face.hair]
    grow = {"buzz": 3, "short": 10, "bun": 6, "curly": 18, "long": 14, "bob": 14}[face.hair_style]
    outer = ellipse_mask(size, box(HEAD_X, HEAD_Y - 8, w + grow, HEAD_RY + grow))
    line = hairline_points(face)
    window = polygon_mask(size, [(line[0][0], HEIGHT), *line, (line[-1][0], HEIGHT)])
    keep = ImageChops.subtract(outer, window)
    if face.hair_style not in ("long", "bob"):
        # short styles end at the temples
        keep = ImageChops.multiply(keep, polygon_mask(size, [(0, 0), (WIDTH, 0), (WIDTH, 236), (0, 236)]))
    color = hair if face.hair_style != "buzz" else mix(hair, SKIN[face.skin], 0.35)
    paint(image, color, keep)
    draw = ImageDraw.Draw(image)
    if face.hair_style == "curly":
        for i in range(1, 12):
            curl_x = HEAD_X - w - 8 + i * (2 * w + 16) / 12
            depth = 1 - ((curl_x - HEAD_X) / (w + 8)) ** 2
            y = HEAD_Y - 8 - (HEAD_RY + 12) * depth ** 0.5
            draw.ellipse(box(curl_x, y + 8, 20, 20), fill=hair)
    # a few strands for texture, kept inside the hair
    if face.hair_style in ("short", "long", "bob", "bun"):
        strand = shade(hair, 1.35) if sum(hair) < 300 else shade(hair, 0.8)
        strands = Image.new("L", size, 0)
        strand_draw = ImageDraw.Draw(strands)
        for dx in (-40, -10, 22, 50):
            strand_draw.arc(box(HEAD_X + dx, 150, 40, 60), 200, 260, fill=255, width=s(2))
        inner = ellipse_mask(size, box(HEAD_X, HEAD_Y - 8, w + grow - 6, HEAD_RY + grow - 6))
        paint(image, strand, ImageChops.multiply(strands, ImageChops.subtract(inner, window)))


def draw_eyes(image, face):
    draw = ImageDraw.Draw(image)
    iris = EYES[face.eyes]
    hair = HAIR[face.hair] if face.hair_style != "bald" else HAIR["black"]
    brow = shade(hair, 0.9) if face.hair != "grey" else (120, 120, 126)
    for side in (-1, 1):
        cx, cy = HEAD_X + side * 38, 196
        draw.ellipse(box(cx, cy, 19, 12), fill=(250, 250, 250))
        draw.ellipse(box(cx + side * 1, cy + 1, 10, 10), fill=iris)
        draw.ellipse(box(cx + side * 1, cy + 1, 5, 5), fill=(20, 16, 16))
        draw.ellipse(box(cx + side * 1 - 3, cy - 3, 2.5, 2.5), fill=(255, 255, 255))
        draw.arc(box(cx, cy + 2, 20, 14), 195, 345, fill=(40, 30, 28), width=s(2.5))
        draw.arc(box(cx - side * 2, 172, 26, 12), 200 if side < 0 else 210, 330 if side < 0 else 340,
                 fill=brow, width=s(5))


def draw_nose_mouth(image, face):
    draw = ImageDraw.Draw(image)
    skin = SKIN[face.skin]
    draw.arc(box(HEAD_X, 236, 12, 10), 20, 160, fill=shade(skin, 0.72), width=s(3))
    lips = mix(shade(skin, 0.75), (200, 70, 80), 0.45)
    draw.chord(box(HEAD_X, 258, 30, 20), 10, 170, fill=lips)
    draw.line([(s(HEAD_X - 26), s(263)), (s(HEAD_X + 26), s(263))], fill=shade(lips, 0.7), width=s(2))


def draw_extras(image, face):
    draw = ImageDraw.Draw(image)
    skin = SKIN[face.skin]
    hair = HAIR[face.hair]
    if "blush" in face.extras:
        overlay = Image.new("RGBA", image.size, (0, 0, 0, 0))
        od = ImageDraw.Draw(overlay)
        for side in (-1, 1):
            od.ellipse(box(HEAD_X + side * 52, 232, 16, 9), fill=(235, 110, 120, 90))
        image.paste(overlay, (0, 0), overlay)
    if "freckles" in face.extras:
        for side in (-1, 1):
            for dx, dy in ((0, 0), (8, 5), (-7, 6), (4, -6), (13, -1)):
                draw.ellipse(box(HEAD_X + side * (44 + dx), 226 + dy, 1.6, 1.6), fill=shade(skin, 0.7))
    if "beard" in face.extras:
        beard = mix(hair, (70, 60, 56), 0.4)
        jaw = ImageChops.multiply(
            ellipse_mask(image.size, box(HEAD_X, HEAD_Y + 4, face.face_width + 2, HEAD_RY + 4)),
            polygon_mask(image.size, [(0, 238), (HEAD_X - 40, 236), (HEAD_X, 246), (HEAD_X + 40, 236),
                                      (WIDTH, 238), (WIDTH, HEIGHT), (0, HEIGHT)]))
        paint(image, beard, ImageChops.subtract(jaw, ellipse_mask(image.size, box(HEAD_X, 261, 30, 14))))
        draw.chord(box(HEAD_X, 258, 26, 14), 10, 170, fill=mix(shade(skin, 0.75), (200, 70, 80), 0.45))
    if "moustache" in face.extras:
        color = hair
        draw.chord(box(HEAD_X - 15, 254, 20, 9), 180, 360, fill=color)
        draw.chord(box(HEAD_X + 15, 254, 20, 9), 180, 360, fill=color)
    if "glasses" in face.extras:
        frame = (30, 30, 36)
        for side in (-1, 1):
            draw.rounded_rectangle(box(HEAD_X + side * 38, 198, 29, 22), radius=s(10), outline=frame, width=s(4))
        draw.arc(box(HEAD_X, 196, 10, 8), 200, 340, fill=frame, width=s(4))
        for side in (-1, 1):
            draw.line([(s(HEAD_X + side * 67), s(194)), (s(HEAD_X + side * (face.face_width - 2)), s(188))],
                      fill=frame, width=s(4))


def draw_face(face):
    image = Image.new("RGB", (WIDTH * SCALE, HEIGHT * SCALE))
    draw_background(image, face)
    draw_back_hair(image, face)
    draw_body(image, face)
    draw_head(image, face)
    draw_front_hair(image, face)
    draw_eyes(image, face)
    draw_nose_mouth(image, face)
    draw_extras(image, face)
    return image.resize((WIDTH, HEIGHT), Image.LANCZOS)


def jpeg_bytes(image):
    buffer = io.BytesIO()
    image.save(buffer, "JPEG", quality=JPEG_QUALITY, optimize=True)
    data = buffer.getvalue()
    if len(data) > MAX_PICTURE_BYTES:
        raise SystemExit(f"picture of {len(data)} bytes exceeds {MAX_PICTURE_BYTES}")
    return data


def table_text(language, persons):
    header = ",".join(f"({n}){t}" for n, t in zip(COLUMN_NUMBERS, HEADERS[language]))
    rows = [header]
    for p in persons:
        cells = [p.name, str(p.gender), p.birth, str(p.list_type), p.card, p.phone, p.remark, p.picture]
        if any("," in c or '"' in c for c in cells):
            raise SystemExit(f"cell of {p.name} would need quoting")
        rows.append(",".join(cells))
    return "\r\n".join(rows) + "\r\n"


def main(arguments):
    root = pathlib.Path(arguments[1]) if len(arguments) > 1 else pathlib.Path(__file__).resolve().parents[2]
    for language, persons in FOLDERS.items():
        folder = root / "example" / language
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "person_info.csv").write_bytes(table_text(language, persons).encode("utf-8"))
        for person in persons:
            (folder / person.picture).write_bytes(jpeg_bytes(draw_face(person.face)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
