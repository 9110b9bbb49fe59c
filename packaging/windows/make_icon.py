#!/usr/bin/python3
"""Draws Plotmira's icon, a plan on a sheet with a folded corner, and writes
it as plotmira.ico (256, 48, 32 and 16 pixels) for the installer. The .ico
is kept in the repository; run this again only to change the picture.
usage: /usr/bin/python3 make_icon.py OUT.ico"""
import sys

from PIL import Image, ImageDraw

S = 1024  # drawn large, then reduced: smooth edges at every size


def icon(size):
    im = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    ink = (22, 58, 122, 255)
    fold = 200
    sheet = [(96, 64), (928 - fold, 64), (928, 64 + fold), (928, 960), (96, 960)]
    d.polygon(sheet, fill=(255, 255, 255, 255), outline=ink)
    d.line(sheet + [sheet[0]], fill=ink, width=40, joint="curve")
    d.polygon([(928 - fold, 64), (928 - fold, 64 + fold), (928, 64 + fold)], fill=(196, 214, 240, 255))
    d.line([(928 - fold, 64), (928 - fold, 64 + fold), (928, 64 + fold)], fill=ink, width=32)
    # the plan: outer walls, a partition, a door's swing
    w = 44 if size > 32 else 70
    d.rectangle([220, 330, 800, 840], outline=ink, width=w)
    d.line([(520, 330), (520, 620)], fill=ink, width=w)
    d.line([(220, 620), (380, 620)], fill=ink, width=w)
    d.arc([220 - 160, 620 - 160, 220 + 160, 620 + 160], 270, 360, fill=(200, 40, 40, 255), width=w * 2 // 3)
    d.ellipse([620, 620, 720, 720], fill=(200, 40, 40, 255))
    return im.resize((size, size), Image.LANCZOS)


def main():
    sizes = [256, 48, 32, 16]
    images = [icon(s) for s in sizes]
    images[0].save(sys.argv[1], format="ICO", sizes=[(s, s) for s in sizes], append_images=images[1:])


if __name__ == "__main__":
    main()
