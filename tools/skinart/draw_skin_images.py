#!/usr/bin/env python3
"""Draws the skin's device-strip icons and power-panel images as SVG line art and renders them
to PNG with tessel-skinpreview (Qt's SVG renderer), so every picture of the skin is our own.

Usage: draw_skin_images.py <tessel-skinpreview> <skin folder>
"""
import os
import subprocess
import sys
import tempfile

GREY = "#8793a3"
DIM = "#4b5869"
TEAL = "#2de2e6"
VIOLET = "#7b5cff"
WHITE = "#f2f5fa"

GRADIENT = ('<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">'
            f'<stop offset="0" stop-color="{TEAL}"/><stop offset="1" stop-color="{VIOLET}"/>'
            '</linearGradient></defs>')

# Device outlines on a 48 x 48 grid, stroke only.
DEVICES = {
    "kb": '<rect x="5" y="14" width="38" height="21" rx="4"/>'
          '<path d="M11 21h2M16 21h2M21 21h2M26 21h2M31 21h2M36 21h1"/>'
          '<path d="M12 26.5h2M17 26.5h2M22 26.5h2M27 26.5h2M32 26.5h3"/>'
          '<path d="M16 31h16"/>',
    "ms": '<rect x="14" y="6" width="20" height="36" rx="10"/>'
          '<path d="M24 6v11M14 18h20"/><path d="M24 10v3" stroke-width="3"/>',
    "hard_mp": '<rect x="4" y="11" width="40" height="26" rx="3"/>'
               '<rect x="8" y="15" width="32" height="18" rx="1.5" stroke-dasharray="2 3"/>'
               '<rect x="30" y="18" width="7" height="11" rx="1.5"/>',
    "soft_mp": '<path d="M6 13c6-3 30-3 36 0v22c-6 3-30 3-36 0z"/>'
               '<path d="M10 19c8-2 20-2 28 0M10 29c8 2 20 2 28 0" stroke-dasharray="2 3"/>',
    "hd": '<path d="M9 29v-5a15 15 0 0 1 30 0v5"/>'
          '<rect x="6" y="27" width="8" height="13" rx="3"/><rect x="34" y="27" width="8" height="13" rx="3"/>'
          '<path d="M14 38c2 4 6 5 10 5"/><circle cx="25.5" cy="43" r="1.2"/>',
    "hub": '<rect x="8" y="18" width="32" height="14" rx="4"/>'
           '<path d="M14 25h3M21 25h3M28 25h3"/><path d="M24 18v-6M20 12h8"/>',
    "unknow": '<rect x="9" y="9" width="30" height="30" rx="7"/>'
              '<path d="M19.5 20a4.5 4.5 0 1 1 6.5 4c-1.4.8-2 1.6-2 3v1"/><circle cx="24" cy="33" r="0.6"/>',
}

# The small badge of a device marked for same lighting: two arcs chasing each other.
SYNC_BADGE = ('<circle cx="38" cy="38" r="8.5" fill="#0f1217" stroke="none"/>'
              '<g stroke="{c}" stroke-width="1.8">'
              '<path d="M33.5 36.5a5 5 0 0 1 8.6-1.5"/><path d="M42.5 39.5a5 5 0 0 1-8.6 1.5"/>'
              '<path d="M42.3 32.5v2.8h-2.8"/><path d="M33.7 43.5v-2.8h2.8"/></g>')


def icon(body: str, selected: bool, synchro: bool) -> str:
    stroke = "url(#g)" if selected else GREY
    badge = SYNC_BADGE.format(c=(VIOLET if not selected else TEAL)) if synchro else ""
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48" '
            'fill="none" stroke-linecap="round" stroke-linejoin="round">' + GRADIENT +
            f'<g stroke="{stroke}" stroke-width="2">{body}</g>{badge}</svg>')


def power_images() -> dict:
    """Charging states, wireless logo and phone kinds, 24 x 24 line icons."""
    head = ('<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" '
            'fill="none" stroke-linecap="round" stroke-linejoin="round">' + GRADIENT)
    battery = '<rect x="2.5" y="7" width="17" height="10" rx="2.5"/><path d="M21.5 10.5v3"/>'
    phone = '<rect x="7" y="2.5" width="10" height="19" rx="2.5"/>'
    return {
        # Charged: a full battery with a tick.
        "powered": head + f'<g stroke="{TEAL}" stroke-width="1.6">{battery}'
                   '<path d="M7 12l2.5 2.5L15 9.5"/></g></svg>',
        # Charging: a bolt inside the battery.
        "powering": head + f'<g stroke="url(#g)" stroke-width="1.6">{battery}</g>'
                    f'<path d="M12 8.5l-3 4h4l-3 4" stroke="{WHITE}" stroke-width="1.6"/></svg>',
        # On battery: a battery with a partial charge.
        "power": head + f'<g stroke="{GREY}" stroke-width="1.6">{battery}</g>'
                 f'<rect x="5" y="9.5" width="7" height="5" rx="1" fill="{TEAL}"/></svg>',
        "wireless": head + f'<g stroke="{TEAL}" stroke-width="1.7">'
                    '<path d="M4 9.5a11 11 0 0 1 16 0"/><path d="M7 13a7 7 0 0 1 10 0"/>'
                    '<path d="M10 16.5a3 3 0 0 1 4 0"/></g><circle cx="12" cy="19.5" r="1.3" '
                    f'fill="{TEAL}"/></svg>',
        "Phone_type_iphone": head + f'<g stroke="{TEAL}" stroke-width="1.6">{phone}'
                             '<path d="M10.5 5h3"/><circle cx="12" cy="18.5" r="0.9"/></g></svg>',
        "Phone_type_samsung": head + f'<g stroke="{TEAL}" stroke-width="1.6">{phone}'
                              '<path d="M10.5 5h3M9 18.5h6"/></g></svg>',
        "Phone_type_other": head + f'<g stroke="{TEAL}" stroke-width="1.6">{phone}'
                            '<path d="M10 10.5a2 2 0 1 1 2.6 1.9c-.4.2-.6.5-.6 1v.4"/>'
                            '<circle cx="12" cy="16" r="0.4"/></g></svg>',
        "Phone_type_no_device": head + f'<g stroke="{DIM}" stroke-width="1.6">{phone}'
                                '<path d="M10.5 5h3"/></g>'
                                f'<path d="M4 20L20 4" stroke="{GREY}" stroke-width="1.6"/></svg>',
    }


def render(tool: str, svg: str, png: str, size: int, work: str) -> None:
    src = os.path.join(work, os.path.basename(png) + ".svg")
    with open(src, "w", encoding="utf-8") as f:
        f.write(svg)
    subprocess.run([tool, "--svg2png", src, png, str(size), str(size)], check=True)


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    tool, skin = sys.argv[1], sys.argv[2]
    icons = os.path.join(skin, "common", "device_ico")
    power = os.path.join(skin, "power")
    os.makedirs(icons, exist_ok=True)
    os.makedirs(power, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for kind, body in DEVICES.items():
            for synchro in (False, True):
                for selected in (False, True):
                    state = ("synchro_" if synchro else "") + ("selected" if selected else "normal")
                    # Twice the size the window shows them at 96 DPI, so they stay sharp at
                    # 1.5x and 2x; the strip and the page header scale them down smoothly.
                    render(tool, icon(body, selected, synchro),
                           os.path.join(icons, f"{kind}_device_{state}.png"), 112, work)
        for name, svg in power_images().items():
            render(tool, svg, os.path.join(power, f"{name}.png"), 24, work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
