#!/usr/bin/env python3
# Regenerates Lockharbour's artwork and the resource collection file:
#   resources/image/icon/icon16.png ... icon1024.png   application icon
#   resources/image/icon/light/icon_NNN.png            themed icons, light UI
#   resources/image/icon/dark/icon_NNN.png             themed icons, dark UI
#   resources/image/entryicon/NAME.png                 built-in entry icons
#   resources/lockharbour.qrc                          lists image/ and doc/
#
# The generated PNGs are kept in the repository, so building the program
# needs none of the tools below; only rerunning this script does.
#
# Debian packages this script needs:
#   python3, imagemagick (convert), fonts-fork-awesome, fonts-dejavu-core,
#   fonts-dejavu-extra
#
# Usage:
#   tools/make-artwork.py              regenerate everything
#   tools/make-artwork.py --qrc-only   only rewrite resources/lockharbour.qrc
#   tools/make-artwork.py --jobs N     run N conversions at once (default 2)
#   tools/make-artwork.py --only TEXT  only the images whose path contains TEXT
#
# The output is deterministic: rerunning on unchanged sources reproduces the
# files byte for byte (no time stamps are written).
#
# Glyphs come from the Fork Awesome font (SIL Open Font License 1.1, see
# resources/ARTWORK-LICENCE.txt); lettering uses DejaVu Sans Bold.

import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "resources")

FA_FONT = "/usr/share/fonts/truetype/fork-awesome/forkawesome-webfont.ttf"
SANS_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SANS_BOLD_OBLIQUE = "/usr/share/fonts/truetype/dejavu/DejaVuSans-BoldOblique.ttf"
SANS_BOLD_CONDENSED = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"

# Fork Awesome code points of the glyphs used here.
FA = {
    "amazon": 0xF270, "anchor": 0xF13D, "android": 0xF17B, "apple": 0xF179,
    "archive": 0xF187, "arrow-down": 0xF063, "arrow-up": 0xF062,
    "asterisk": 0xF069, "behance": 0xF1B4, "calendar": 0xF073,
    "camera": 0xF030, "cc-diners-club": 0xF24C,
    "cc-mastercard": 0xF1F1,
    "cc-visa": 0xF1F0, "check": 0xF00C, "clipboard": 0xF0EA,
    "clock-o": 0xF017, "codepen": 0xF1CB, "cog": 0xF013, "comment": 0xF075,
    "comments": 0xF086, "database": 0xF1C0, "desktop": 0xF108,
    "diamond": 0xF219, "download": 0xF019, "dribbble": 0xF17D,
    "dropbox": 0xF16B, "envelope": 0xF0E0, "exclamation-triangle": 0xF071,
    "eye": 0xF06E, "eye-slash": 0xF070, "facebook": 0xF09A,
    "facebook-messenger": 0xF2FE, "files-o": 0xF0C5, "fire": 0xF06D,
    "floppy-o": 0xF0C7, "folder": 0xF07B, "folder-open": 0xF07C,
    "foursquare": 0xF180, "github": 0xF09B, "globe": 0xF0AC,
    "google": 0xF1A0, "google-plus": 0xF0D5, "history": 0xF1DA,
    "home": 0xF015, "info-circle": 0xF05A, "instagram": 0xF16D,
    "key": 0xF084, "laptop": 0xF109, "lastfm": 0xF202, "leaf": 0xF06C,
    "linkedin": 0xF0E1, "lock": 0xF023, "magic": 0xF0D0,
    "map-marker": 0xF041, "medium": 0xF23A, "minus": 0xF068,
    "mobile": 0xF10B, "money": 0xF0D6, "paperclip": 0xF0C6,
    "paypal": 0xF1ED, "pencil": 0xF040, "phone": 0xF095,
    "pinterest": 0xF0D2, "plug": 0xF1E6, "plus": 0xF067, "print": 0xF02F,
    "product-hunt": 0xF288, "question-circle": 0xF059,
    "quote-right": 0xF10E, "reddit-alien": 0xF281, "refresh": 0xF021,
    "rss": 0xF09E, "search": 0xF002, "search-minus": 0xF010,
    "search-plus": 0xF00E, "shield": 0xF132, "shopping-bag": 0xF290,
    "skype": 0xF17E, "slack": 0xF198, "snapchat-ghost": 0xF2AC,
    "soundcloud": 0xF1BE, "spotify": 0xF1BC, "tachometer": 0xF0E4,
    "terminal": 0xF120, "times": 0xF00D, "times-circle": 0xF057,
    "trash-o": 0xF014, "trello": 0xF181, "tumblr": 0xF173,
    "twitter": 0xF099, "user": 0xF007, "viadeo": 0xF2A9,
    "video-camera": 0xF03D, "vimeo": 0xF27D, "vine": 0xF1CA,
    "whatsapp": 0xF232, "windows": 0xF17A, "wordpress": 0xF19A,
    "wrench": 0xF0AD, "yelp": 0xF1E9, "youtube-play": 0xF16A,
}


def fa(name):
    return chr(FA[name])


# ---------------------------------------------------------------------------
# Colour helpers

def _rgb(c):
    c = c.lstrip("#")
    return tuple(int(c[i:i + 2], 16) for i in (0, 2, 4))


def _hex(rgb):
    return "#%02X%02X%02X" % tuple(max(0, min(255, int(round(v)))) for v in rgb)


def mix(c1, c2, t):
    a, b = _rgb(c1), _rgb(c2)
    return _hex([a[i] + (b[i] - a[i]) * t for i in range(3)])


def lighten(c, t):
    return mix(c, "#FFFFFF", t)


def darken(c, t):
    return mix(c, "#000000", t)


# ---------------------------------------------------------------------------
# A small drawing language on top of ImageMagick.  An image is described in
# final-pixel coordinates and drawn K times larger, then reduced with an area
# filter, which gives even anti-aliasing at every size.

class Canvas:
    def __init__(self, size, k):
        self.size = size
        self.k = k
        self.big = size * k
        self.ops = []

    def s(self, v):
        return v * self.k

    def _pts(self, pts):
        return " ".join("%.2f,%.2f" % (self.s(x), self.s(y)) for x, y in pts)

    # -- layers -----------------------------------------------------------
    def _composite(self, layer, compose="Over"):
        self.ops += ["("] + layer + [")", "-compose", compose, "-composite"]

    def _blank(self):
        return ["-size", "%dx%d" % (self.big, self.big), "xc:none"]

    def draw(self, primitive, fill="none", stroke="none", width=0,
             compose="Over", linecap="round", linejoin="round"):
        layer = self._blank() + [
            "-fill", fill, "-stroke", stroke,
            "-strokewidth", "%.2f" % self.s(width),
            "-draw", "stroke-linecap %s stroke-linejoin %s %s"
            % (linecap, linejoin, primitive)]
        self._composite(layer, compose)

    def roundrect(self, x0, y0, x1, y1, r, **kw):
        self.draw("roundrectangle %.2f,%.2f %.2f,%.2f %.2f,%.2f"
                  % (self.s(x0), self.s(y0), self.s(x1), self.s(y1),
                     self.s(r), self.s(r)), **kw)

    def circle(self, cx, cy, r, **kw):
        self.draw("circle %.2f,%.2f %.2f,%.2f"
                  % (self.s(cx), self.s(cy), self.s(cx + r), self.s(cy)), **kw)

    def line(self, x0, y0, x1, y1, colour, width, **kw):
        self.draw("line %.2f,%.2f %.2f,%.2f"
                  % (self.s(x0), self.s(y0), self.s(x1), self.s(y1)),
                  stroke=colour, width=width, **kw)

    def polyline(self, pts, colour, width, **kw):
        self.draw("polyline " + self._pts(pts), stroke=colour, width=width, **kw)

    def polygon(self, pts, fill, **kw):
        self.draw("polygon " + self._pts(pts), fill=fill, **kw)

    def gradient_roundrect(self, x0, y0, x1, y1, r, top, bottom):
        """A rounded rectangle filled with a vertical gradient."""
        mask = self._blank() + [
            "-fill", "white", "-draw",
            "roundrectangle %.2f,%.2f %.2f,%.2f %.2f,%.2f"
            % (self.s(x0), self.s(y0), self.s(x1), self.s(y1),
               self.s(r), self.s(r))]
        layer = ["-size", "%dx%d" % (self.big, self.big),
                 "gradient:%s-%s" % (top, bottom), "-alpha", "set",
                 "("] + mask + [")", "-compose", "DstIn", "-composite"]
        self._composite(layer)

    def corner_roundrect(self, x0, y0, x1, y1, r, corners):
        """A rounded rectangle filled by inverse-distance blending of four
        corner colours (top-left, top-right, bottom-right, bottom-left)."""
        b = self.big - 1
        tl, tr, br, bl = corners
        mask = self._blank() + [
            "-fill", "white", "-draw",
            "roundrectangle %.2f,%.2f %.2f,%.2f %.2f,%.2f"
            % (self.s(x0), self.s(y0), self.s(x1), self.s(y1),
               self.s(r), self.s(r))]
        layer = ["-size", "%dx%d" % (self.big, self.big), "xc:white",
                 "-alpha", "set", "-sparse-color", "Shepards",
                 "0,0 %s %d,0 %s %d,%d %s 0,%d %s" % (tl, b, tr, b, b, br, b, bl),
                 "("] + mask + [")", "-compose", "DstIn", "-composite"]
        self._composite(layer)

    def text(self, txt, cx, cy, w, h, colour, font=FA_FONT, compose="Over",
             stroke=None, stroke_width=0, flop=False):
        """Draws txt (glyph or lettering) scaled to fit a w x h box centred
        on (cx, cy)."""
        layer = ["+size", "-background", "none", "-font", font, "-pointsize", "600",
                 "-fill", colour]
        if stroke:
            layer += ["-stroke", stroke, "-strokewidth", "%.2f" % stroke_width]
        layer += ["label:" + txt, "-trim", "+repage"] + (["-flop"] if flop else []) + [
                  "-resize", "%dx%d" % (round(self.s(w)), round(self.s(h)))]
        dx = self.s(cx) - self.big / 2.0
        dy = self.s(cy) - self.big / 2.0
        self.ops += ["("] + layer + [")", "-gravity", "center", "-geometry",
                                     "%+d%+d" % (round(dx), round(dy)),
                                     "-compose", compose, "-composite",
                                     "-gravity", "northwest"]

    def group(self):
        """A separate layer of the same size, to be added with add()."""
        return Canvas(self.size, self.k)

    def add(self, layer):
        self._composite(layer._blank() + layer.ops)

    def erase_circle(self, cx, cy, r):
        self.circle(cx, cy, r, fill="white", compose="DstOut")

    def erase_roundrect(self, x0, y0, x1, y1, r):
        self.roundrect(x0, y0, x1, y1, r, fill="white", compose="DstOut")

    # -- output -------------------------------------------------------------
    def command(self, out):
        return (["convert", "-respect-parentheses"] + self._blank()
                + self.ops
                + ["-filter", "Box", "-resize", "%dx%d" % (self.size, self.size),
                   "-strip", "-define", "png:exclude-chunks=date,time",
                   "-define", "png:compression-level=9",
                   "-define", "png:compression-filter=5",
                   "PNG32:" + out])


# ---------------------------------------------------------------------------
# Application icon: a padlock in harbour blue carrying a white anchor.  The
# two smallest sizes are drawn on their own pixel grid and carry a keyhole
# instead of the anchor, which stays legible at 16 px.

APP_BLUE_TOP = "#2F8FDB"
APP_BLUE_BOTTOM = "#165A9C"
APP_RIM = "#0F416F"
APP_STEEL = "#AEBBC7"
APP_STEEL_DARK = "#66778A"

# Geometry in pixels of the size it is drawn at: shackle leg centres, top
# edge, stroke and leg end; body box and radius; the keyhole or the anchor.
APP_SMALL = {
    16: dict(legs=(5.0, 11.0), top=1.0, sw=2.0, leg_end=8.0,
             body=(1.0, 7.0, 15.0, 15.0), r=2.0, rim=0.0,
             keyhole=(8.0, 10.0, 1.6, 1.0, 13.2)),
    24: dict(legs=(7.5, 16.5), top=1.0, sw=3.0, leg_end=11.0,
             body=(1.0, 10.0, 23.0, 23.0), r=3.0, rim=0.0,
             keyhole=(12.0, 15.0, 2.3, 1.2, 20.0)),
}


def app_geometry(size):
    if size in APP_SMALL:
        return APP_SMALL[size]
    u = size / 64.0
    return dict(legs=(18.5 * u, 45.5 * u), top=5.0 * u, sw=9.0 * u,
                leg_end=32.0 * u, body=(6.0 * u, 26.0 * u, 58.0 * u, 61.0 * u),
                r=9.0 * u, rim=1.3 * u, anchor=(32.0 * u, 44.2 * u, 26 * u, 27 * u),
                highlight=size >= 48, u=u)


def app_icon(size):
    k = max(4, 1024 // size) if size < 1024 else 2
    c = Canvas(size, k)
    g = app_geometry(size)

    # Shackle: a thick arch, steel with a darker rim.
    x_left, x_right = g["legs"]
    sw = g["sw"]
    rad = (x_right - x_left) / 2
    cy = g["top"] + sw / 2 + rad
    arch = "path 'M %.2f,%.2f L %.2f,%.2f A %.2f,%.2f 0 0,1 %.2f,%.2f L %.2f,%.2f'" % (
        c.s(x_left), c.s(g["leg_end"]), c.s(x_left), c.s(cy),
        c.s(rad), c.s(rad), c.s(x_right), c.s(cy),
        c.s(x_right), c.s(g["leg_end"]))
    c.draw(arch, stroke=APP_STEEL_DARK, width=sw, linecap="butt")
    if size not in APP_SMALL:
        c.draw(arch, stroke=APP_STEEL, width=sw - 2.6 * g["u"], linecap="butt")

    # Body.
    bx0, by0, bx1, by1 = g["body"]
    br, rim = g["r"], g["rim"]
    if rim:
        c.roundrect(bx0, by0, bx1, by1, br, fill=APP_RIM)
    c.gradient_roundrect(bx0 + rim, by0 + rim, bx1 - rim, by1 - rim,
                         max(0.5, br - rim), APP_BLUE_TOP, APP_BLUE_BOTTOM)
    if g.get("highlight"):
        u = g["u"]
        c.roundrect(bx0 + 3 * u, by0 + 2.6 * u, bx1 - 3 * u, by0 + 4.2 * u, 0.8 * u,
                    fill="#FFFFFF40")

    if "anchor" in g:
        ax, ay, aw, ah = g["anchor"]
        c.text(fa("anchor"), ax, ay, aw, ah, "#FFFFFF")
    else:
        # Keyhole: a round head over a straight slot.
        kx, ky, kr, half, bottom = g["keyhole"]
        c.circle(kx, ky, kr, fill="#FFFFFF")
        c.draw("rectangle %.2f,%.2f %.2f,%.2f" % (c.s(kx - half), c.s(ky), c.s(kx + half),
                                                   c.s(bottom)), fill="#FFFFFF")
    return c


# ---------------------------------------------------------------------------
# Themed icons (32 x 32): one glyph colour per theme, one accent for additions
# and one warning colour for removals; badges sit in the bottom-right corner,
# cut free from the glyph by a transparent ring.

THEMES = {
    "light": {"fg": "#3B4754", "accent": "#1E7BC8", "danger": "#CF3E36",
              "badge_fg": "#FFFFFF"},
    "dark": {"fg": "#DCE3EA", "accent": "#4FA6F0", "danger": "#F2675E",
             "badge_fg": "#FFFFFF"},
}


def badge(c, theme, kind):
    cx, cy, r = 24.5, 24.5, 7.0
    c.erase_circle(cx, cy, r + 1.6)
    colour = theme["accent"] if kind in ("plus", "pencil") else theme["danger"]
    c.circle(cx, cy, r, fill=colour)
    w = theme["badge_fg"]
    if kind == "plus":
        c.line(cx - 3.6, cy, cx + 3.6, cy, w, 2.1, linecap="butt")
        c.line(cx, cy - 3.6, cx, cy + 3.6, w, 2.1, linecap="butt")
    elif kind == "minus":
        c.line(cx - 3.8, cy, cx + 3.8, cy, w, 2.2, linecap="butt")
    elif kind == "cross":
        d = 2.7
        c.line(cx - d, cy - d, cx + d, cy + d, w, 2.0, linecap="butt")
        c.line(cx - d, cy + d, cx + d, cy - d, w, 2.0, linecap="butt")
    elif kind == "pencil":
        c.text(fa("pencil"), cx, cy, 8.4, 8.4, w)


def glyph_icon(name, box=26.0, dx=0.0, dy=0.0, badge_kind=None, colour="fg",
               flop=False):
    """A themed icon made of one glyph and an optional badge."""
    def make(theme):
        c = Canvas(32, 8)
        if badge_kind:
            # Leave room for the badge: the glyph sits a little up and left.
            c.text(fa(name), 14.5 + dx, 14.5 + dy, box, box, theme[colour],
                   flop=flop)
            badge(c, theme, badge_kind)
        else:
            c.text(fa(name), 16 + dx, 16 + dy, box, box, theme[colour],
                   flop=flop)
        return c
    return make


def subgroup_icon(theme):
    """Parent folder, a tree branch and a child folder carrying a plus."""
    c = Canvas(32, 8)
    fg = theme["fg"]
    c.text(fa("folder"), 9.0, 7.5, 15, 12, fg)
    # Branch from below the parent folder to the child folder.
    c.polyline([(6.0, 13.0), (6.0, 22.5), (11.0, 22.5)], fg, 2.0,
               linecap="butt", linejoin="miter")
    c.text(fa("folder"), 19.5, 22.0, 17, 14, fg)
    badge_small = (27.2, 27.2, 4.9)
    cx, cy, r = badge_small
    c.erase_circle(cx, cy, r + 1.4)
    c.circle(cx, cy, r, fill=theme["accent"])
    c.line(cx - 2.6, cy, cx + 2.6, cy, "#FFFFFF", 1.7, linecap="butt")
    c.line(cx, cy - 2.6, cx, cy + 2.6, "#FFFFFF", 1.7, linecap="butt")
    return c


def paperclip_plus(theme):
    c = Canvas(32, 8)
    c.text(fa("paperclip"), 13.0, 14.5, 24, 25, theme["fg"])
    badge(c, theme, "plus")
    return c


# File name -> (what it is used for, maker).
THEMED = {
    "icon_091": ("New Database", glyph_icon("database", 25, badge_kind="plus")),
    "icon_106": ("Open Database", glyph_icon("folder-open", 28)),
    "icon_291": ("Save Database", glyph_icon("floppy-o", 25)),
    "icon_217": ("Lock Workspace", glyph_icon("lock", 26)),
    "icon_073": ("Copy to clipboard", glyph_icon("clipboard", 26)),
    "icon_228": ("Delete / clear", glyph_icon("trash-o", 26)),
    "icon_104": ("About / information", glyph_icon("info-circle", 26)),
    "icon_279": ("Settings", glyph_icon("cog", 26)),
    "icon_225": ("Show password", glyph_icon("eye", 27)),
    "icon_020": ("Generate again", glyph_icon("refresh", 25)),
    "icon_270": ("Open URL", glyph_icon("globe", 26)),
    "icon_110": ("Expiry date", glyph_icon("calendar", 25)),
    "icon_107": ("Plugins", glyph_icon("plug", 26)),
    "icon_108": ("Feedback", glyph_icon("comment", 25)),
    "icon_206": ("Help", glyph_icon("question-circle", 26)),
    "icon_207": ("Warning", glyph_icon("exclamation-triangle", 26)),
    "icon_208": ("Error", glyph_icon("times-circle", 26)),
    "icon_241": ("Calibrate key derivation", glyph_icon("tachometer", 27)),
    "icon_227": ("Hide password", glyph_icon("eye-slash", 27)),
    "icon_184": ("Attach file", paperclip_plus),
    "icon_257": ("Save attachment", glyph_icon("download", 25)),
    "icon_183": ("Find Password", glyph_icon("search", 25)),
    "icon_311": ("New Password", glyph_icon("key", 25, dx=-1.0, dy=-1.0, badge_kind="plus", flop=True)),
    "icon_312": ("Delete Password", glyph_icon("key", 25, dx=-1.0, dy=-1.0, badge_kind="cross", flop=True)),
    "icon_313": ("Open Password", glyph_icon("key", 25, dx=-1.0, dy=-1.0, badge_kind="pencil", flop=True)),
    "icon_314": ("New Group", glyph_icon("folder", 26, badge_kind="plus")),
    "icon_315": ("New Subgroup", subgroup_icon),
    "icon_316": ("Delete Group", glyph_icon("folder", 26, badge_kind="cross")),
    "icon_006": ("OK / confirm", glyph_icon("check", 24)),
    "icon_004": ("Move up", glyph_icon("arrow-up", 22)),
    "icon_005": ("Move down", glyph_icon("arrow-down", 22)),
    "icon_001": ("Add", glyph_icon("plus", 20)),
    "icon_078": ("Security audit", glyph_icon("shield", 26)),
    "icon_002": ("Remove", glyph_icon("minus", 20)),
    "icon_007": ("Close", glyph_icon("times", 20)),
    "icon_003": ("Edit", glyph_icon("pencil", 24)),
    "icon_008": ("Copy", glyph_icon("files-o", 25)),
    "icon_025": ("Copy user name", glyph_icon("user", 24)),
    "icon_026": ("Copy password", glyph_icon("asterisk", 22)),
    "icon_045": ("Generate password", glyph_icon("magic", 26)),
    "icon_181": ("Zoom in", glyph_icon("search-plus", 25)),
    "icon_182": ("Zoom out", glyph_icon("search-minus", 25)),
}


# ---------------------------------------------------------------------------
# Entry icons (64 x 64): every icon is a rounded tile with a soft vertical
# gradient and a white mark.  General icons share the harbour slate colour;
# brands and payment cards wear their own colours.

GENERAL = "#3F6A8E"
TILE = (2.0, 2.0, 62.0, 62.0, 13.0)


def tile(c, colour):
    x0, y0, x1, y1, r = TILE
    c.gradient_roundrect(x0, y0, x1, y1, r, lighten(colour, 0.14), darken(colour, 0.08))


def white_tile(c):
    x0, y0, x1, y1, r = TILE
    c.roundrect(x0, y0, x1, y1, r, fill="#D5DBE1")
    c.gradient_roundrect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, r - 1, "#FFFFFF", "#F1F4F7")


def entry_glyph(glyph, colour, box=36.0, w=None, h=None, dx=0.0, dy=0.0,
                fg="#FFFFFF", font=FA_FONT, stroke=None, stroke_width=0):
    def make():
        c = Canvas(64, 8)
        tile(c, colour)
        txt = fa(glyph) if font == FA_FONT else glyph
        c.text(txt, 32 + dx, 32 + dy, w or box, h or box, fg, font=font,
               stroke=stroke, stroke_width=stroke_width)
        return c
    return make


def entry_letters(letters, colour, w=30.0, h=32.0, dy=0.0, fg="#FFFFFF",
                  font=SANS_BOLD):
    return entry_glyph(letters, colour, w=w, h=h, dy=dy, fg=fg, font=font)


def card_shape(c, colour, x0=9.0, y0=15.5, x1=55.0, y1=48.5):
    c.roundrect(x0, y0, x1, y1, 4.5, fill=colour)


def card_letters(colour, rows):
    """Big white lettering straight on the brand tile, for cards whose word
    mark would shrink to a grey smudge at list size (20 px): at most four
    letters a row, rows at least 16 units high."""
    def make():
        c = Canvas(64, 8)
        tile(c, colour)
        for txt, cy, w, h in rows:
            c.text(txt, 32, cy, w, h, "#FFFFFF", font=SANS_BOLD_CONDENSED)
        return c
    return make


def cirrus():
    # Two interlocking rings in the brand's blues on a white card.
    c = Canvas(64, 8)
    tile(c, "#1C5FAE")
    card_shape(c, "#FFFFFF")
    c.circle(25.5, 32.0, 9.0, stroke="#0E3A82", width=4.6)
    c.circle(38.5, 32.0, 9.0, stroke="#19A3E6", width=4.6)
    # The dark ring passes over the light one at the top crossing.
    c.draw("path 'M %.2f,%.2f A %.2f,%.2f 0 0,1 %.2f,%.2f'" % (
        c.s(25.5 + 9.0 * 0.5), c.s(32.0 - 9.0 * 0.866), c.s(9.0), c.s(9.0),
        c.s(25.5 + 9.0), c.s(32.0)), stroke="#0E3A82", width=4.6, linecap="butt")
    return c


def maestro():
    c = Canvas(64, 8)
    tile(c, "#0B76C5")
    card_shape(c, "#FFFFFF")
    c.circle(26.5, 29.0, 8.5, fill="#EB001B")
    c.circle(37.5, 29.0, 8.5, fill="#00A2E5")
    # The lens where the circles overlap.
    c.draw("path 'M %.2f,%.2f A %.2f,%.2f 0 0,1 %.2f,%.2f A %.2f,%.2f 0 0,1 %.2f,%.2f Z'" % (
        c.s(32.0), c.s(29.0 - 6.53), c.s(8.5), c.s(8.5), c.s(32.0), c.s(29.0 + 6.53),
        c.s(8.5), c.s(8.5), c.s(32.0), c.s(29.0 - 6.53)), fill="#7375CF")
    c.text("maestro", 32, 43.0, 30, 6.5, "#1B2A44", font=SANS_BOLD)
    return c


def visa_electron():
    # Told apart from the plain Visa card (a white card on navy) at list
    # size by its lighter blue, the lettering straight on the tile and the
    # gold band of the Electron mark.
    c = Canvas(64, 8)
    tile(c, "#1668C4")
    c.text("VISA", 32, 26.0, 50, 20, "#FFFFFF", font=SANS_BOLD_OBLIQUE)
    c.roundrect(10.0, 41.0, 54.0, 49.0, 2.5, fill="#F7B600")
    return c


def direct_debit():
    c = Canvas(64, 8)
    tile(c, "#2B2D33")
    g = c.group()
    card_shape(g, "#FFFFFF")
    g.text("DD", 32, 28.0, 24, 11, "white", font=SANS_BOLD, compose="DstOut")
    g.text("DIRECT DEBIT", 32, 41.5, 36, 5.5, "white", font=SANS_BOLD, compose="DstOut")
    c.add(g)
    return c


def disc():
    c = Canvas(64, 8)
    tile(c, GENERAL)
    ring = lighten(GENERAL, 0.6)
    c.circle(32, 32, 19, fill="#FFFFFF")
    c.circle(32, 32, 12.5, stroke=ring, width=1.4)
    c.circle(32, 32, 7.4, fill=ring)
    c.circle(32, 32, 4.2, fill=lighten(GENERAL, 0.05))
    return c


def ebay():
    c = Canvas(64, 8)
    white_tile(c)
    # Letters as large as the tile allows, so that the word still reads in a
    # 20 px list.
    letters = [("e", "#E53238", 11.5), ("b", "#0064D2", 25.0),
               ("a", "#F5AF02", 38.5), ("y", "#86B817", 52.0)]
    for ch, col, x in letters:
        ch_h = 21.0 if ch in "ea" else 27.0
        cy = 34.0 if ch in "ea" else (30.8 if ch == "b" else 37.3)
        c.text(ch, x, cy, 15.0, ch_h, col, font=SANS_BOLD)
    return c


def flickr():
    c = Canvas(64, 8)
    white_tile(c)
    c.circle(22.0, 32.0, 9.5, fill="#0063DC")
    c.circle(42.0, 32.0, 9.5, fill="#FF0084")
    return c


def instagram():
    c = Canvas(64, 8)
    x0, y0, x1, y1, r = TILE
    c.corner_roundrect(x0, y0, x1, y1, r,
                       ("#8A3AB9", "#5B51D8", "#DD2A7B", "#FEDA75"))
    c.text(fa("instagram"), 32, 32, 34, 34, "#FFFFFF")
    return c


def blackberry():
    c = Canvas(64, 8)
    tile(c, "#1F1F1F")
    # Seven pebbles in three staggered columns.
    pebbles = [(16, 19), (30, 19), (14, 31), (28, 31), (44, 25), (42, 37), (26, 43)]
    for x, y in pebbles:
        c.roundrect(x - 0.5, y - 4, x + 9.5, y + 3.5, 3.7, fill="#FFFFFF")
    return c


def buffer():
    c = Canvas(64, 8)
    tile(c, "#231F20")
    # Three stacked layers, drawn from the bottom up, each outlined in the
    # tile colour so that it stands clear of the one below.
    for dy in (9.0, 0.0, -9.0):
        cy = 32 + dy
        pts = [(32, cy - 8.0), (50, cy), (32, cy + 8.0), (14, cy)]
        c.polygon(pts, fill="#FFFFFF", stroke="#231F20", width=2.6)
    return c


def chat_bubble(colour, inner, inner_colour, box=32.0):
    def make():
        c = Canvas(64, 8)
        tile(c, colour)
        c.text(fa("comment"), 32, 31, 38, 36, "#FFFFFF")
        c.text(fa(inner), 32, 29, box * 0.42, box * 0.42, inner_colour)
        return c
    return make


def photoshop():
    c = Canvas(64, 8)
    tile(c, "#001E36")
    c.roundrect(13, 13, 51, 51, 4, stroke="#31A8FF", width=2.4)
    c.text("Ps", 32, 32.5, 25, 18, "#31A8FF", font=SANS_BOLD)
    return c


def snapchat():
    c = Canvas(64, 8)
    tile(c, "#FFFC00")
    c.text(fa("snapchat-ghost"), 32, 32, 38, 38, "#FFFFFF", stroke="#111111",
           stroke_width=28)
    return c


def amazon():
    c = Canvas(64, 8)
    tile(c, "#232F3E")
    c.text(fa("amazon"), 32, 32, 36, 36, "#FF9900")
    return c


# (name, maker) in the program's order.
ENTRY = [
    # general
    ("web", entry_glyph("globe", GENERAL)),
    ("camera", entry_glyph("camera", GENERAL, 36)),
    ("chat", entry_glyph("comments", GENERAL, 38)),
    ("archive", entry_glyph("archive", GENERAL, 34)),
    ("backup", entry_glyph("history", GENERAL, 36)),
    ("clock", entry_glyph("clock-o", GENERAL, 36)),
    ("cmd", entry_glyph("terminal", GENERAL, 34)),
    ("spanner", entry_glyph("wrench", GENERAL, 34)),
    ("print", entry_glyph("print", GENERAL, 34)),
    ("monitor", entry_glyph("desktop", GENERAL, 38)),
    ("money", entry_glyph("money", GENERAL, 40)),
    ("mail", entry_glyph("envelope", GENERAL, 36)),
    ("key", entry_glyph("key", GENERAL, 36)),
    ("house", entry_glyph("home", GENERAL, 38)),
    ("gear", entry_glyph("cog", GENERAL, 36)),
    ("floppydisk", entry_glyph("floppy-o", GENERAL, 34)),
    ("disc", disc),
    # services and brands
    ("airbnb", entry_letters("a", "#FF5A5F", 26, 30, dy=-1.5)),
    ("amazon", amazon),
    ("android", entry_glyph("android", "#3DDC84", 34)),
    ("apple", entry_glyph("apple", "#2B2B2E", 34, dy=-1)),
    ("behance", entry_glyph("behance", "#1769FF", 40)),
    ("blackberry", blackberry),
    ("blogger", entry_letters("B", "#FF5722", 24, 30)),
    ("buffer", buffer),
    ("codepen", entry_glyph("codepen", "#1E1F26", 36)),
    ("computer", entry_glyph("laptop", GENERAL, 42)),
    ("dailymotion", entry_letters("d", "#0066DC", 24, 32)),
    ("dribbble", entry_glyph("dribbble", "#EA4C89", 36)),
    ("dropbox", entry_glyph("dropbox", "#0061FF", 36)),
    ("ebay", ebay),
    ("envato", entry_glyph("leaf", "#81B441", 34)),
    ("evernote", entry_letters("E", "#00A82D", 22, 30)),
    ("facebook", entry_glyph("facebook", "#1877F2", 34, dx=1.5, dy=2.5)),
    ("feedly", entry_letters("f", "#2BB24C", 20, 32)),
    ("flickr", flickr),
    ("foursquare", entry_glyph("foursquare", "#F94877", 34)),
    ("github", entry_glyph("github", "#24292E", 38)),
    ("googleplus", entry_glyph("google-plus", "#DB4437", 40)),
    ("google", entry_glyph("google", "#4285F4", 34)),
    ("hanghout", chat_bubble("#0F9D58", "quote-right", "#0F9D58")),
    ("instagram", instagram),
    ("invision", entry_letters("in", "#FF3366", 28, 28)),
    ("lastfm", entry_glyph("lastfm", "#D51007", 40)),
    ("linkedin", entry_glyph("linkedin", "#0A66C2", 34)),
    ("medium", entry_glyph("medium", "#12100E", 36)),
    ("messenger", entry_glyph("facebook-messenger", "#0084FF", 36)),
    ("mobilephone", entry_glyph("mobile", GENERAL, 38)),
    ("paypal", entry_glyph("paypal", "#003087", 34)),
    ("periscope", entry_glyph("map-marker", "#3AA4C6", 38)),
    ("photoshop", photoshop),
    ("pinterest", entry_glyph("pinterest", "#E60023", 38)),
    ("producthunt", entry_glyph("product-hunt", "#DA552F", 38)),
    ("reddit", entry_glyph("reddit-alien", "#FF4500", 38)),
    ("rss", entry_glyph("rss", "#F26522", 32)),
    ("scoopit", entry_letters("S!", "#6CAB36", 30, 28)),
    ("shopify", entry_glyph("shopping-bag", "#5E8E3E", 34)),
    ("sketchapp", entry_glyph("diamond", "#F7B500", 38)),
    ("skype", entry_glyph("skype", "#00AFF0", 38)),
    ("slack", entry_glyph("slack", "#4A154B", 36)),
    ("snapchat", snapchat),
    ("soundcloud", entry_glyph("soundcloud", "#FF5500", 44)),
    ("spotify", entry_glyph("spotify", "#1DB954", 38)),
    ("tinder", entry_glyph("fire", "#FE3C72", 34)),
    ("trello", entry_glyph("trello", "#0079BF", 34)),
    ("tumblr", entry_glyph("tumblr", "#36465D", 34)),
    ("twitter", entry_glyph("twitter", "#1DA1F2", 36)),
    ("viadeo", entry_glyph("viadeo", "#F07355", 36)),
    ("viber", chat_bubble("#7360F2", "phone", "#7360F2")),
    ("video", entry_glyph("video-camera", GENERAL, 40)),
    ("vimeo", entry_glyph("vimeo", "#1AB7EA", 36)),
    ("vine", entry_glyph("vine", "#00B488", 34)),
    ("whatsapp", entry_glyph("whatsapp", "#25D366", 38)),
    ("windowsphone", entry_glyph("windows", "#0078D7", 34)),
    ("wordpress", entry_glyph("wordpress", "#21759B", 38)),
    ("yelp", entry_glyph("yelp", "#D32323", 34)),
    ("youtube", entry_glyph("youtube-play", "#FF0000", 40)),
    # payment cards
    ("amex", card_letters("#2E77BC", [("AMEX", 32.0, 54, 24)])),
    ("jcb", card_letters("#0B4EA2", [("JCB", 32.0, 48, 24)])),
    ("dinners-club", entry_glyph("cc-diners-club", "#004A97", w=46, h=40)),
    ("direct-debit", direct_debit),
    ("discover", card_letters("#E55C20", [("DISC", 22.0, 48, 17), ("OVER", 42.0, 48, 17)])),
    ("solo", card_letters("#0D8ECF", [("SOLO", 32.0, 54, 24)])),
    ("maestro", maestro),
    ("mastercard", entry_glyph("cc-mastercard", "#EB001B", w=46, h=40)),
    ("switch", card_letters("#2A9D55", [("SWI", 22.0, 44, 17), ("TCH", 42.0, 44, 17)])),
    ("visa-electron", visa_electron),
    ("visa", entry_glyph("cc-visa", "#1A1F71", w=46, h=40)),
    ("cirrus", cirrus),
]

APP_SIZES = [16, 24, 32, 48, 64, 128, 256, 512, 1024]


# ---------------------------------------------------------------------------

def write_qrc():
    files = []
    for top in ("image", "doc"):
        for dirpath, _dirs, names in os.walk(os.path.join(RES, top)):
            for n in names:
                rel = os.path.relpath(os.path.join(dirpath, n), RES)
                files.append(rel.replace(os.sep, "/"))
    files.sort()
    lines = ['<!DOCTYPE RCC><RCC version="1.0">', '<qresource prefix="/">']
    lines += ["    <file>%s</file>" % f for f in files]
    lines += ["</qresource>", "</RCC>", ""]
    with open(os.path.join(RES, "lockharbour.qrc"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    return len(files)


def check_tools():
    missing = [p for p in (FA_FONT, SANS_BOLD, SANS_BOLD_OBLIQUE, SANS_BOLD_CONDENSED)
               if not os.path.exists(p)]
    if shutil.which("convert") is None:
        missing.append("convert (imagemagick)")
    if missing:
        sys.exit("make-artwork: missing: " + ", ".join(missing)
                 + "\n  install: imagemagick fonts-fork-awesome fonts-dejavu-core"
                 " fonts-dejavu-extra")


def main():
    ap = argparse.ArgumentParser(description="Regenerates Lockharbour's artwork.")
    ap.add_argument("--qrc-only", action="store_true")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", help="regenerate only files whose path contains this text")
    args = ap.parse_args()

    if not args.qrc_only:
        check_tools()
        jobs = []
        icon_dir = os.path.join(RES, "image", "icon")
        for size in APP_SIZES:
            jobs.append((os.path.join(icon_dir, "icon%d.png" % size),
                         lambda s=size: app_icon(s)))
        for theme_name, theme in THEMES.items():
            for fname, (_use, maker) in sorted(THEMED.items()):
                jobs.append((os.path.join(icon_dir, theme_name, fname + ".png"),
                             lambda m=maker, t=theme: m(t)))
        for name, maker in ENTRY:
            jobs.append((os.path.join(RES, "image", "entryicon", name + ".png"), maker))
        if args.only:
            jobs = [j for j in jobs if args.only in j[0]]

        names = [os.path.basename(p) for p, _m in jobs if "entryicon" in p]
        if len(set(names)) != len(names):
            sys.exit("make-artwork: duplicate entry icon names")

        with tempfile.TemporaryDirectory() as tmp:
            def run(numbered):
                number, (path, maker) = numbered
                os.makedirs(os.path.dirname(path), exist_ok=True)
                part = os.path.join(tmp, "%04d.png" % number)
                cmd = maker().command(part)
                r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   env=dict(os.environ, MAGICK_THREAD_LIMIT="1"))
                if r.returncode != 0:
                    raise RuntimeError("%s: %s" % (path, r.stderr.decode(errors="replace")))
                shutil.move(part, path)
                return path

            with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
                for path in pool.map(run, enumerate(jobs)):
                    print(os.path.relpath(path, ROOT))

    n = write_qrc()
    print("resources/lockharbour.qrc: %d files" % n)


if __name__ == "__main__":
    main()
