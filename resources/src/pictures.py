#!/usr/bin/env python3
"""Draws every picture of the Lumora bundle as SVG.

Each picture is drawn at the exact pixel size of the widget that shows it:
Qt style sheets stretch border images with nearest-pixel sampling, so a
picture made at the widget's own size is the one that stays crisp.

Usage: pictures.py <output folder>
Writes <folder>/<Folder>/<name>.svg for every still picture and
<folder>/frames/load_NN.svg for the frames of the loading animation and
<folder>/desktop/org.lumora.Lumora.svg, the icon of the installed program.
"""

import math
import os
import sys

# The window's palette.
WINDOW = "#4E4E4E"  # rgb(78, 78, 78), the window background
PREVIEW = "#030303"  # rgb(3, 3, 3), the preview area
ACCENT = "#096AB2"  # rgb(9, 106, 178), slider labels and switches
ACCENT_LIGHT = "#2B8AD4"
ACCENT_DARK = "#06528A"
ORANGE = "#E98F35"  # rgb(233, 143, 53), the update link
ORANGE_LIGHT = "#F3A659"
GLYPH = "#DCDCDC"
WHITE = "#FFFFFF"
FACE = "#363636"  # resting face of a button
FACE_EDGE = "#626262"
RECORD_RED = "#E5484D"
FONT = "DejaVu Sans"


def svg(width, height, body, background=None):
    back = ""
    if background:
        back = f'<rect width="{width}" height="{height}" fill="{background}"/>'
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}">{back}{body}</svg>\n'
    )


def framed(view, body):
    """An SVG whose viewBox is a window onto a larger drawing."""
    x, y, w, h = view
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
        f'viewBox="{x} {y} {w} {h}">{body}</svg>\n'
    )


def text(x, y, size, content, fill, weight="normal", stretch="normal"):
    return (
        f'<text x="{x}" y="{y}" font-family="{FONT}" font-size="{size}" font-weight="{weight}" '
        f'font-stretch="{stretch}" fill="{fill}">{content}</text>'
    )


# ---------------------------------------------------------------- media buttons
# 30 x 30, drawn as a round face with a glyph. Three looks: resting (dark face,
# light glyph), hover "-p" (accent face, white glyph), pressed "_white" (white
# face, accent glyph).

MEDIA_LOOKS = {
    "": (FACE, FACE_EDGE, GLYPH),
    "-p": (ACCENT, ACCENT_LIGHT, WHITE),
    "_white": (WHITE, WHITE, ACCENT),
}


def media_face(face, edge):
    return (
        f'<circle cx="15" cy="15" r="14.25" fill="{face}" stroke="{edge}" stroke-width="1.2"/>'
    )


def speaker_body(glyph):
    return f'<path d="M7.5 12.3h3.2l4.6-4v13.4l-4.6-4H7.5z" fill="{glyph}" stroke="{glyph}" stroke-width="0.8" stroke-linejoin="round"/>'


def speaker_glyph(glyph, face):
    waves = (
        f'<path d="M18.2 12.2a4 4 0 0 1 0 5.6" fill="none" stroke="{glyph}" stroke-width="1.7" stroke-linecap="round"/>'
        f'<path d="M20.6 9.6a7.6 7.6 0 0 1 0 10.8" fill="none" stroke="{glyph}" stroke-width="1.7" stroke-linecap="round"/>'
    )
    return speaker_body(glyph) + waves


def mic_glyph(glyph, face):
    return (
        f'<rect x="12.4" y="6.6" width="5.2" height="10.4" rx="2.6" fill="{glyph}"/>'
        f'<path d="M9.8 14.2a5.2 5.2 0 0 0 10.4 0" fill="none" stroke="{glyph}" stroke-width="1.6" stroke-linecap="round"/>'
        f'<path d="M15 19.6v2.8M12 22.6h6" fill="none" stroke="{glyph}" stroke-width="1.6" stroke-linecap="round"/>'
    )


def shot_glyph(glyph, face):
    return (
        f'<path d="M11.4 10.4l1.3-2.2h4.6l1.3 2.2" fill="{glyph}" stroke="{glyph}" stroke-width="1.2" stroke-linejoin="round"/>'
        f'<rect x="7" y="10.2" width="16" height="11.4" rx="2.2" fill="{glyph}"/>'
        f'<circle cx="15" cy="15.9" r="3.7" fill="{face}"/>'
        f'<circle cx="15" cy="15.9" r="2" fill="{glyph}"/>'
        f'<circle cx="20.3" cy="12.6" r="0.9" fill="{face}"/>'
    )


def record_glyph(glyph, face):
    ring = f'<circle cx="15" cy="15" r="7.6" fill="none" stroke="{glyph}" stroke-width="1.3"/>'
    return ring + f'<circle cx="15" cy="15" r="5.2" fill="{RECORD_RED}"/>'


def mute_glyph(glyph, face):
    cross = (
        f'<path d="M18 12l5.6 5.6M23.6 12L18 17.6" fill="none" stroke="{ORANGE}" '
        f'stroke-width="1.9" stroke-linecap="round"/>'
    )
    return speaker_body(glyph) + cross


def mic_mute_glyph(glyph, face):
    slash = (
        f'<path d="M8.6 7.6l12.8 14.8" stroke="{face}" stroke-width="4" stroke-linecap="round"/>'
        f'<path d="M8.6 7.6l12.8 14.8" stroke="{ORANGE}" stroke-width="1.9" stroke-linecap="round"/>'
    )
    return mic_glyph(glyph, face) + slash


def media_buttons():
    pictures = {}
    glyphs = {
        "volume": speaker_glyph,
        "microphone": mic_glyph,
        "shot": shot_glyph,
        "record": record_glyph,
    }
    for name, glyph in glyphs.items():
        for suffix, (face, edge, colour) in MEDIA_LOOKS.items():
            body = media_face(face, edge) + glyph(colour, face)
            pictures[f"Button/{name}{suffix}"] = svg(30, 30, body)
    # Volume 0 shows the muted look in every state, so it has one picture each.
    pictures["Button/mute"] = svg(30, 30, media_face(FACE, FACE_EDGE) + mute_glyph(GLYPH, FACE))
    pictures["Button/mic_mute"] = svg(
        30, 30, media_face(FACE, FACE_EDGE) + mic_mute_glyph(GLYPH, FACE)
    )
    return pictures


# ---------------------------------------------------------------- switches

def switch(on):
    defs = (
        '<defs><linearGradient id="track" x1="0" y1="0" x2="0" y2="1">'
        + (
            f'<stop offset="0" stop-color="{ACCENT_LIGHT}"/><stop offset="1" stop-color="{ACCENT}"/>'
            if on
            else '<stop offset="0" stop-color="#2C2C2C"/><stop offset="1" stop-color="#3C3C3C"/>'
        )
        + "</linearGradient></defs>"
    )
    edge = ACCENT_DARK if on else "#747474"
    track = f'<rect x="0.6" y="0.6" width="38.8" height="18.8" rx="9.4" fill="url(#track)" stroke="{edge}" stroke-width="1.2"/>'
    knob_x = 30 if on else 10
    knob_fill = WHITE if on else "#BDBDBD"
    knob = (
        f'<circle cx="{knob_x}" cy="10.6" r="7.2" fill="#000" fill-opacity="0.25"/>'
        f'<circle cx="{knob_x}" cy="10" r="7.2" fill="{knob_fill}"/>'
    )
    return svg(40, 20, defs + track + knob)


# ---------------------------------------------------------------- combo box

def combo_pictures():
    arrow = '<path d="M1.2 1.2L5.5 5.5L9.8 1.2" fill="none" stroke="#F0F0F0" stroke-width="1.7" stroke-linecap="round" stroke-linejoin="round"/>'
    grey = "#8C8C8C"
    row = (
        f'<rect x="0.8" y="2.6" width="10.4" height="7.8" rx="1.6" fill="none" stroke="{grey}" stroke-width="1.4"/>'
        f'<path d="M11.6 5.4l3.6-2.2v6.6l-3.6-2.2z" fill="{grey}"/>'
        f'<circle cx="6" cy="6.5" r="1.6" fill="{grey}"/>'
    )
    return {"Combox/cbxdown": svg(11, 7, arrow), "Combox/cbxrowpic": svg(16, 12, row)}


# ---------------------------------------------------------------- sliders

def slider_pictures():
    groove = (
        '<rect x="1" y="5.5" width="208" height="4" rx="2" fill="#262626" stroke="#1A1A1A" stroke-width="1"/>'
        '<path d="M3 10h204" stroke="#FFFFFF" stroke-opacity="0.14" stroke-width="1"/>'
    )
    vertical = (
        '<rect x="8" y="2" width="4" height="96" rx="2" fill="#262626" stroke="#1A1A1A" stroke-width="1"/>'
        '<path d="M12.5 4v92" stroke="#FFFFFF" stroke-opacity="0.14" stroke-width="1"/>'
    )
    thumb = (
        f'<circle cx="7.5" cy="7.5" r="6.4" fill="{WHITE}" stroke="{ACCENT}" stroke-width="2"/>'
        f'<circle cx="7.5" cy="7.5" r="2" fill="{ACCENT}"/>'
    )
    # The value bubble rides above the handle; the handle's centre sits a few
    # pixels right of the bubble's left edge, so the pointer is there too.
    bubble = (
        '<defs><linearGradient id="b" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{ACCENT_LIGHT}"/><stop offset="1" stop-color="{ACCENT}"/>'
        "</linearGradient></defs>"
        '<path d="M4 0.5H36A3.5 3.5 0 0 1 39.5 4V15A3.5 3.5 0 0 1 36 18.5H10.5L6.5 21.7L5 18.5H4'
        'A3.5 3.5 0 0 1 0.5 15V4A3.5 3.5 0 0 1 4 0.5Z" fill="url(#b)" stroke="#075A98" stroke-width="1"/>'
    )
    return {
        "Slider/slider": svg(210, 15, groove),
        "Slider/slider_vertical": svg(20, 100, vertical),
        "Slider/thumb": svg(15, 15, thumb),
        "Slider/slider_text": svg(40, 22, bubble),
    }


# ---------------------------------------------------------------- pan/tilt/zoom pad
# The pad is drawn once in the coordinates of the box that holds its buttons;
# each button's picture is the window of that drawing covering the button, so
# neighbouring buttons join up into one ring. Corners outside a button's own
# shape stay transparent because the buttons' rectangles overlap.

PAD_CENTRE = (92.5, 123.0)
PAD_OUTER = 79.0
PAD_INNER = 53.0
PAD_GAP = 1.6  # half the gap between ring segments
BUTTON_RECTS = {
    "up": (37, 42, 110, 45),
    "left": (10, 68, 45, 110),
    "down": (37, 160, 110, 45),
    "right": (130, 68, 45, 110),
    "home": (50, 80, 85, 85),
    "zoomin": (200, 42, 47, 47),
    "zoomout": (200, 158, 47, 47),
}
# Direction of each arrow in screen degrees (0 = right, 90 = down).
ARROW_ANGLES = {"right": 0.0, "down": 90.0, "left": 180.0, "up": 270.0}


def pad_gradients():
    cx, cy = PAD_CENTRE
    return (
        "<defs>"
        f'<linearGradient id="face" gradientUnits="userSpaceOnUse" x1="0" y1="{cy - PAD_OUTER}" x2="0" y2="{cy + PAD_OUTER}">'
        '<stop offset="0" stop-color="#454545"/><stop offset="1" stop-color="#2E2E2E"/></linearGradient>'
        f'<linearGradient id="pressed" gradientUnits="userSpaceOnUse" x1="0" y1="{cy - PAD_OUTER}" x2="0" y2="{cy + PAD_OUTER}">'
        f'<stop offset="0" stop-color="{ACCENT}"/><stop offset="1" stop-color="{ACCENT_DARK}"/></linearGradient>'
        '<linearGradient id="knob" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#4A4A4A"/><stop offset="1" stop-color="#303030"/></linearGradient>'
        '<linearGradient id="knobdown" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{ACCENT_DARK}"/><stop offset="1" stop-color="{ACCENT}"/></linearGradient>'
        "</defs>"
    )


def point(angle_deg, radius):
    a = math.radians(angle_deg)
    return PAD_CENTRE[0] + radius * math.cos(a), PAD_CENTRE[1] + radius * math.sin(a)


def ring_segment(direction):
    """A quarter of the ring centred on the arrow's direction, with gaps."""
    mid = ARROW_ANGLES[direction]
    # Angular half-gap differs on the two radii so the gap has parallel sides.
    outer_gap = math.degrees(PAD_GAP / PAD_OUTER)
    inner_gap = math.degrees(PAD_GAP / PAD_INNER)
    a0o, a1o = mid - 45 + outer_gap, mid + 45 - outer_gap
    a0i, a1i = mid - 45 + inner_gap, mid + 45 - inner_gap
    p0 = point(a0o, PAD_OUTER)
    p1 = point(a1o, PAD_OUTER)
    q1 = point(a1i, PAD_INNER)
    q0 = point(a0i, PAD_INNER)
    return (
        f"M{p0[0]:.3f} {p0[1]:.3f}"
        f"A{PAD_OUTER} {PAD_OUTER} 0 0 1 {p1[0]:.3f} {p1[1]:.3f}"
        f"L{q1[0]:.3f} {q1[1]:.3f}"
        f"A{PAD_INNER} {PAD_INNER} 0 0 0 {q0[0]:.3f} {q0[1]:.3f}Z"
    )


def chevron(direction, colour):
    mid = ARROW_ANGLES[direction]
    r = (PAD_OUTER + PAD_INNER) / 2
    tip = point(mid, r + 4.5)
    a = point(mid - 13, r - 4)
    b = point(mid + 13, r - 4)
    return (
        f'<path d="M{a[0]:.3f} {a[1]:.3f}L{tip[0]:.3f} {tip[1]:.3f}L{b[0]:.3f} {b[1]:.3f}" '
        f'fill="none" stroke="{colour}" stroke-width="3" stroke-linecap="round" stroke-linejoin="round"/>'
    )


def arrow_button(direction, pressed):
    fill = "url(#pressed)" if pressed else "url(#face)"
    edge = ACCENT_LIGHT if pressed else "#5C5C5C"
    colour = WHITE if pressed else GLYPH
    body = (
        pad_gradients()
        + f'<path d="{ring_segment(direction)}" fill="{fill}" stroke="{edge}" stroke-width="1"/>'
        + chevron(direction, colour)
    )
    return framed(BUTTON_RECTS[direction], body)


def home_button(pressed):
    fill = "url(#knobdown)" if pressed else "url(#knob)"
    edge = ACCENT_LIGHT if pressed else "#5C5C5C"
    colour = WHITE if pressed else GLYPH
    house = (
        f'<path d="M29.5 42.5L42.5 31L55.5 42.5" fill="none" stroke="{colour}" stroke-width="3" '
        'stroke-linecap="round" stroke-linejoin="round"/>'
        f'<path d="M33.5 40.5V54.5H39.5V47.5H45.5V54.5H51.5V40.5" fill="none" stroke="{colour}" '
        'stroke-width="3" stroke-linecap="round" stroke-linejoin="round"/>'
    )
    # A pressed knob sits lower: its shadow shrinks and its face darkens.
    shadow = "" if pressed else '<circle cx="42.5" cy="43.5" r="40" fill="#000" fill-opacity="0.28"/>'
    body = (
        pad_gradients()
        + shadow
        + f'<circle cx="42.5" cy="42.5" r="39.5" fill="{fill}" stroke="{edge}" stroke-width="1"/>'
        + f'<circle cx="42.5" cy="42.5" r="33" fill="none" stroke="#FFFFFF" stroke-opacity="0.07" stroke-width="1"/>'
        + house
    )
    return svg(85, 85, body)


def zoom_button(zoom_in, pressed):
    fill = "url(#knobdown)" if pressed else "url(#knob)"
    edge = ACCENT_LIGHT if pressed else "#5C5C5C"
    colour = WHITE if pressed else GLYPH
    sign = "M16 20.5h9" + ("M20.5 16v9" if zoom_in else "")
    shadow = "" if pressed else '<circle cx="23.5" cy="24.3" r="22.2" fill="#000" fill-opacity="0.28"/>'
    body = (
        pad_gradients()
        + shadow
        + f'<circle cx="23.5" cy="23.5" r="22" fill="{fill}" stroke="{edge}" stroke-width="1"/>'
        + f'<circle cx="20.5" cy="20.5" r="8.2" fill="none" stroke="{colour}" stroke-width="2.4"/>'
        + f'<path d="M26.6 26.6l6.4 6.4" stroke="{colour}" stroke-width="3.2" stroke-linecap="round"/>'
        + f'<path d="{sign}" stroke="{colour}" stroke-width="2.2" stroke-linecap="round"/>'
    )
    return svg(47, 47, body)


def pad_pictures():
    pictures = {}
    for pressed, suffix in ((False, ""), (True, "_pressed")):
        for direction in ARROW_ANGLES:
            pictures[f"CameraControl/{direction}{suffix}"] = arrow_button(direction, pressed)
        pictures[f"CameraControl/home{suffix}"] = home_button(pressed)
        pictures[f"CameraControl/zoomin{suffix}"] = zoom_button(True, pressed)
        pictures[f"CameraControl/zoomout{suffix}"] = zoom_button(False, pressed)
    return pictures


def console_plate():
    """The recessed plate behind the whole pad, for the box that holds it."""
    cx, cy = PAD_CENTRE
    body = (
        '<defs><radialGradient id="plate" cx="0.5" cy="0.45" r="0.6">'
        '<stop offset="0" stop-color="#3E3E3E"/><stop offset="1" stop-color="#2A2A2A"/>'
        "</radialGradient></defs>"
        f'<circle cx="{cx}" cy="{cy}" r="{PAD_OUTER + 6}" fill="url(#plate)" stroke="#5A5A5A" stroke-width="1"/>'
        f'<circle cx="{cx}" cy="{cy + 1}" r="{PAD_OUTER + 6}" fill="none" stroke="#FFFFFF" stroke-opacity="0.08" stroke-width="1"/>'
        '<rect x="194" y="36" width="59" height="175" rx="29.5" fill="url(#plate)" stroke="#5A5A5A" stroke-width="1"/>'
        '<path d="M215 123.5h17" stroke="#6A6A6A" stroke-width="2" stroke-linecap="round"/>'
    )
    return svg(261, 221, body)


# ---------------------------------------------------------------- logo and icons

def lumora_mark(size):
    """The program's mark: a lens on an accent tile with a warm light."""
    s = size / 64.0
    return (
        f'<g transform="scale({s:.5f})">'
        '<defs><linearGradient id="tile" x1="0" y1="0" x2="1" y2="1">'
        f'<stop offset="0" stop-color="{ACCENT_LIGHT}"/><stop offset="1" stop-color="{ACCENT_DARK}"/>'
        "</linearGradient></defs>"
        '<rect x="1" y="1" width="62" height="62" rx="14" fill="url(#tile)"/>'
        '<rect x="1.5" y="1.5" width="61" height="61" rx="13.5" fill="none" stroke="#FFFFFF" stroke-opacity="0.25"/>'
        '<circle cx="30" cy="34" r="18" fill="#0B0F14" stroke="#FFFFFF" stroke-width="4"/>'
        '<circle cx="30" cy="34" r="9" fill="#17476E"/>'
        '<circle cx="30" cy="34" r="4" fill="#0B0F14"/>'
        '<circle cx="26" cy="30" r="2.6" fill="#FFFFFF" fill-opacity="0.85"/>'
        f'<circle cx="51" cy="13" r="5" fill="{ORANGE}"/>'
        "</g>"
    )


def icon_pictures():
    title = svg(64, 64, lumora_mark(64))
    logo = svg(
        230,
        60,
        '<g transform="translate(2 4)">'
        + lumora_mark(52)
        + "</g>"
        + text(66, 42, 32, "Lumora", WHITE, weight="bold"),
    )
    return {"Icon/icon_title": title, "Icon/logo": logo}


def desktop_icon():
    """The mark as the desktop shows it in menus and docks (hicolor theme)."""
    return svg(64, 64, lumora_mark(64))


def loading_frames(count=12):
    """The loading spinner: twelve dots whose bright head walks round."""
    frames = []
    for frame in range(count):
        dots = []
        for i in range(count):
            age = (frame - i) % count  # 0 is the head
            a = math.radians(i * 360.0 / count - 90)
            x = 32 + 21 * math.cos(a)
            y = 32 + 21 * math.sin(a)
            if age == 0:
                colour, opacity, r = WHITE, 1.0, 4.2
            else:
                colour = ACCENT_LIGHT
                opacity = max(0.12, 1.0 - age / 8.0)
                r = max(2.2, 3.8 - age * 0.2)
            dots.append(
                f'<circle cx="{x:.3f}" cy="{y:.3f}" r="{r:.2f}" fill="{colour}" fill-opacity="{opacity:.3f}"/>'
            )
        frames.append(svg(64, 64, "".join(dots), background=PREVIEW))
    return frames


# ---------------------------------------------------------------- word pictures

def in_use_word():
    # A camera with a warm slash, then the message, on the black preview. The
    # condensed face keeps the whole sentence legible inside 285 pixels.
    icon = (
        f'<rect x="1.5" y="8.5" width="17" height="12" rx="2.2" fill="none" stroke="{GLYPH}" stroke-width="1.6"/>'
        f'<path d="M18.5 12.6l5.2-3v10.8l-5.2-3z" fill="none" stroke="{GLYPH}" stroke-width="1.6" stroke-linejoin="round"/>'
        f'<path d="M2.5 4.5l20 20" stroke="{PREVIEW}" stroke-width="4.4" stroke-linecap="round"/>'
        f'<path d="M2.5 4.5l20 20" stroke="{ORANGE}" stroke-width="1.9" stroke-linecap="round"/>'
    )
    words = text(31, 19.5, 14.5, "Camera in use - no preview available", WHITE, stretch="condensed")
    return svg(285, 29, f'<g transform="translate(5 0)">{icon}{words}</g>')


def link_word(width, label, hover):
    colour = ORANGE_LIGHT if hover else WHITE
    line_opacity = "0.9" if hover else "0.35"
    words = text(0, 14.5, 13, label, colour)
    # An underline marks the picture as a link; it brightens on hover.
    underline = f'<path d="M0.5 18.5H{width - 12.5}" stroke="{colour}" stroke-opacity="{line_opacity}" stroke-width="1"/>'
    arrow = (
        f'<path d="M{width - 7.5} 6.5l4 4l-4 4" fill="none" stroke="{colour}" '
        'stroke-width="1.6" stroke-linecap="round" stroke-linejoin="round"/>'
    )
    return svg(width, 20, words + underline + arrow)


def word_pictures():
    return {
        "Word/inuse": in_use_word(),
        "Word/advance": link_word(151, "Advanced settings", False),
        "Word/advance-p": link_word(151, "Advanced settings", True),
        "Word/restore": link_word(241, "Restore to factory settings", False),
        "Word/restore-p": link_word(241, "Restore to factory settings", True),
    }


# ---------------------------------------------------------------- backgrounds

def background_pictures():
    idle = svg(
        800,
        530,
        '<defs><radialGradient id="v" cx="0.5" cy="0.5" r="0.7">'
        '<stop offset="0" stop-color="#141414"/><stop offset="1" stop-color="#030303"/>'
        "</radialGradient></defs>"
        '<rect width="800" height="530" fill="url(#v)"/>'
        '<g opacity="0.18" transform="translate(352 217)">' + lumora_mark(96) + "</g>",
    )
    panel = svg(
        356,
        600,
        '<defs><linearGradient id="p" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#555555"/><stop offset="1" stop-color="#474747"/>'
        "</linearGradient></defs>"
        '<rect width="356" height="600" fill="url(#p)"/>'
        '<path d="M0 0.5H356" stroke="#FFFFFF" stroke-opacity="0.10"/>',
    )
    return {
        "background/console": console_plate(),
        "background/preview_idle": idle,
        "background/settings_panel": panel,
    }


def all_pictures():
    pictures = {}
    for part in (
        icon_pictures(),
        word_pictures(),
        background_pictures(),
        media_buttons(),
        {"Button/on": switch(True), "Button/off": switch(False)},
        combo_pictures(),
        slider_pictures(),
        pad_pictures(),
    ):
        pictures.update(part)
    return pictures


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(content)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: pictures.py <output folder>")
    out = sys.argv[1]
    for name, content in sorted(all_pictures().items()):
        write(os.path.join(out, name + ".svg"), content)
    for i, content in enumerate(loading_frames()):
        write(os.path.join(out, "frames", f"load_{i:02d}.svg"), content)
    write(os.path.join(out, "desktop", "org.lumora.Lumora.svg"), desktop_icon())


if __name__ == "__main__":
    main()
