#!/usr/bin/env python3
"""Writes the keyboard picture of the keyboard page from one table of keys.

The table below places every key of the board (key position, text id, label in English and in
Chinese, and its place in key units). From it the script writes:
  * the key buttons inside the "SelectPanel" of skin/XML/DeviceXml/keyboarddevice.xml
    ("key_" + position, user data "light_" + position: the keyboard's colour list has one
    entry per key position);
  * the outline picture skin/images/device/keyboard.svg (case and key caps under the buttons);
  * the key names in the keyboard section of skin/lan_en.xml and skin/lan_cn.xml.

Run it from the repository root after changing the table: python3 tools/generate_keyboard_page.py
"""

import html
import os
import re

UNIT = 31          # pixels per key unit
CAP = 26           # drawn key cap of a 1-unit key
PANEL_W, PANEL_H = 760, 244
LEFT, TOP = 12, 14

# Rows, in key units from the top of the board.
MEDIA_Y, F_Y = 0.0, 0.85
ROW_Y = [2.1, 3.1, 4.1, 5.1, 6.1]  # number, Q, A, Z and space-bar rows
X0 = 1.25                          # left edge of the main block (the macro keys sit left of it)
NAV = X0 + 15.25
PAD = NAV + 3.25

KEYS = []  # (position, id suffix, English, Chinese, x, y, w, h)


def key(pos, ident, en, cn, x, y, w=1.0, h=1.0):
    KEYS.append((pos, ident, en, cn, x, y, w, h))


# Function row.
key(130, "gm", "GM", "GM", 0, F_Y)
key(0, "esc", "Esc", "Esc", X0, F_Y)
for i in range(12):
    group = i // 4
    key(1 + i, f"f{i + 1}", f"F{i + 1}", f"F{i + 1}", X0 + 2 + i + group * 0.5, F_Y)
key(13, "print", "PrtSc", "截屏", NAV, F_Y)
key(14, "scroll", "ScrLk", "滚动", NAV + 1, F_Y)
key(15, "pause", "Pause", "暂停", NAV + 2, F_Y)

# Media keys in a strip above the navigation block and the number pad.
MEDIA = [
    (16, "prev", "⏮", "上一曲", "Previous track"), (20, "play", "⏯", "播放/暂停", "Play/Pause"),
    (79, "next", "⏭", "下一曲", "Next track"), (80, "stop", "⏹", "停止", "Stop"),
    (17, "mute", "🔇", "静音", "Mute"), (18, "voldown", "🔉", "音量-", "Volume down"),
    (19, "volup", "🔊", "音量+", "Volume up"), (131, "player", "♫", "媒体播放器", "Media player"),
    (81, "calc", "▦", "计算器", "Calculator"), (82, "mail", "✉", "邮件", "Mail"),
    (100, "home", "⌂", "主页", "Browser home"), (101, "computer", "▣", "我的电脑", "My computer"),
]
MEDIA_W = 0.55
for i, (pos, ident, glyph, cn, en) in enumerate(MEDIA):
    key(pos, "media_" + ident, en, cn, NAV + 0.05 + i * 0.6, MEDIA_Y, MEDIA_W, 0.6)

# Number row.
key(21, "grave", "`", "`", X0, ROW_Y[0])
for i, ch in enumerate("1234567890"):
    key(22 + i, "digit" + ch, ch, ch, X0 + 1 + i, ROW_Y[0])
key(32, "minus", "-", "-", X0 + 11, ROW_Y[0])
key(33, "equal", "=", "=", X0 + 12, ROW_Y[0])
key(34, "backspace", "Backspace", "退格", X0 + 13, ROW_Y[0], 2)
key(35, "insert", "Ins", "插入", NAV, ROW_Y[0])
key(36, "homekey", "Home", "Home", NAV + 1, ROW_Y[0])
key(37, "pageup", "PgUp", "上页", NAV + 2, ROW_Y[0])
key(38, "numlock", "Num", "Num", PAD, ROW_Y[0])
key(39, "kpdivide", "/", "/", PAD + 1, ROW_Y[0])
key(40, "kpmultiply", "*", "*", PAD + 2, ROW_Y[0])
key(41, "kpminus", "-", "-", PAD + 3, ROW_Y[0])

# Q row.
key(42, "tab", "Tab", "Tab", X0, ROW_Y[1], 1.5)
for i, ch in enumerate("QWERTYUIOP"):
    key(43 + i, "letter" + ch.lower(), ch, ch, X0 + 1.5 + i, ROW_Y[1])
key(53, "lbracket", "[", "[", X0 + 11.5, ROW_Y[1])
key(54, "rbracket", "]", "]", X0 + 12.5, ROW_Y[1])
key(55, "backslash", "\\", "\\", X0 + 13.5, ROW_Y[1], 1.5)
key(56, "delete", "Del", "删除", NAV, ROW_Y[1])
key(57, "end", "End", "End", NAV + 1, ROW_Y[1])
key(58, "pagedown", "PgDn", "下页", NAV + 2, ROW_Y[1])
key(59, "kp7", "7", "7", PAD, ROW_Y[1])
key(60, "kp8", "8", "8", PAD + 1, ROW_Y[1])
key(61, "kp9", "9", "9", PAD + 2, ROW_Y[1])
key(119, "kpplus", "+", "+", PAD + 3, ROW_Y[1], 1, 2)

# A row.
key(63, "caps", "Caps", "大写", X0, ROW_Y[2], 1.75)
for i, ch in enumerate("ASDFGHJKL"):
    key(64 + i, "letter" + ch.lower(), ch, ch, X0 + 1.75 + i, ROW_Y[2])
key(73, "semicolon", ";", ";", X0 + 10.75, ROW_Y[2])
key(74, "quote", "'", "'", X0 + 11.75, ROW_Y[2])
key(75, "enter", "Enter", "回车", X0 + 12.75, ROW_Y[2], 2.25)
key(76, "kp4", "4", "4", PAD, ROW_Y[2])
key(77, "kp5", "5", "5", PAD + 1, ROW_Y[2])
key(78, "kp6", "6", "6", PAD + 2, ROW_Y[2])

# Z row.
key(84, "lshift", "Shift", "Shift", X0, ROW_Y[3], 2.25)
for i, ch in enumerate("ZXCVBNM"):
    key(85 + i, "letter" + ch.lower(), ch, ch, X0 + 2.25 + i, ROW_Y[3])
key(92, "comma", ",", ",", X0 + 9.25, ROW_Y[3])
key(93, "period", ".", ".", X0 + 10.25, ROW_Y[3])
key(94, "slash", "/", "/", X0 + 11.25, ROW_Y[3])
key(95, "rshift", "Shift", "Shift", X0 + 12.25, ROW_Y[3], 2.75)
key(96, "up", "↑", "↑", NAV + 1, ROW_Y[3])
key(97, "kp1", "1", "1", PAD, ROW_Y[3])
key(98, "kp2", "2", "2", PAD + 1, ROW_Y[3])
key(99, "kp3", "3", "3", PAD + 2, ROW_Y[3])
key(118, "kpenter", "Ent", "回车", PAD + 3, ROW_Y[3], 1, 2)

# Space-bar row.
x = X0
for pos, ident, en, cn, w in [(105, "lctrl", "Ctrl", "Ctrl", 1.25), (106, "lwin", "Win", "Win", 1.25),
                              (107, "lalt", "Alt", "Alt", 1.25), (108, "space", "", "", 6.25),
                              (109, "ralt", "Alt", "Alt", 1.25), (110, "fn", "Fn", "Fn", 1.25),
                              (111, "menu", "Menu", "菜单", 1.25), (112, "rctrl", "Ctrl", "Ctrl", 1.25)]:
    key(pos, ident, en, cn, x, ROW_Y[4], w)
    x += w
key(113, "left", "←", "←", NAV, ROW_Y[4])
key(114, "down", "↓", "↓", NAV + 1, ROW_Y[4])
key(115, "right", "→", "→", NAV + 2, ROW_Y[4])
key(116, "kp0", "0", "0", PAD, ROW_Y[4], 2)
key(117, "kpdecimal", ".", ".", PAD + 2, ROW_Y[4])

# On-board macro keys down the left edge.
for i in range(5):
    key(120 + i, f"macro{i + 1}", f"M{i + 1}", f"M{i + 1}", 0, ROW_Y[i])

# Names a screen reader says where the label is a symbol or abbreviation.
SPOKEN = {
    "space": ("Space", "空格"), "print": ("Print Screen", "截屏"), "scroll": ("Scroll Lock", "滚动锁定"),
    "insert": ("Insert", "插入"), "pageup": ("Page Up", "上翻页"), "pagedown": ("Page Down", "下翻页"),
    "delete": ("Delete", "删除"), "numlock": ("Num Lock", "数字锁定"), "caps": ("Caps Lock", "大写锁定"),
    "up": ("Up", "上"), "down": ("Down", "下"), "left": ("Left", "左"), "right": ("Right", "右"),
    "kpenter": ("Keypad Enter", "小键盘回车"), "lwin": ("Windows", "Windows"), "menu": ("Menu", "菜单"),
    "grave": ("Grave accent", "重音符"),
}
for pos, ident, glyph, cn, en in MEDIA:
    SPOKEN["media_" + ident] = (en, cn)


def px(units):
    return units * UNIT


def rect_of(k):
    pos, ident, en, cn, x, y, w, h = k
    left = LEFT + px(x)
    top = TOP + px(y)
    return int(round(left)), int(round(top)), int(round(px(w))), int(round(px(h)))


def label_of(k, lang):
    pos, ident, en, cn, *_ = k
    if ident.startswith("media_"):
        return next(m[2] for m in MEDIA if "media_" + m[1] == ident)
    return en if lang == "en" else cn


def write_xml():
    path = "skin/XML/DeviceXml/keyboarddevice.xml"
    text = open(path, encoding="utf-8").read()
    start = text.index('<widget class="SelectPanel" name="keyboard_device_key_light">')
    # The panel's own closing tag: skip the key buttons a previous run wrote inside it.
    depth, i = 0, start
    while True:
        m = re.compile(r"<widget\b[^>]*?(/?)>|</widget>").search(text, i)
        if m.group(0) == "</widget>":
            depth -= 1
            if depth == 0:
                end = m.start()
                break
        elif not m.group(1):
            depth += 1
        i = m.end()
    lines = []
    for k in sorted(KEYS, key=lambda k: k[0]):
        pos, ident = k[0], k[1]
        x, y, w, h = rect_of(k)
        lines.append(
            f'         <widget class="DeviceKeyButton" name="key_{pos}">'
            f'<property name="geometry"><rect><x>{x}</x><y>{y}</y><width>{w}</width><height>{h}</height></rect></property>'
            f'<property name="text"><string>kb_key_{ident}</string></property>'
            f'<property name="toolTip"><string>kb_key_name_{ident}</string></property>'
            f'<property name="accessibleName"><string>kb_key_name_{ident}</string></property>'
            f'<property name="userdata" stdset="0"><string>light_{pos}</string></property></widget>')
    head = text[:start] + '<widget class="SelectPanel" name="keyboard_device_key_light">\n'
    head += (f'        <property name="minimumSize"><size><width>{PANEL_W}</width><height>{PANEL_H}</height></size></property>\n'
             f'        <property name="maximumSize"><size><width>{PANEL_W}</width><height>{PANEL_H}</height></size></property>\n')
    open(path, "w", encoding="utf-8").write(head + "\n".join(lines) + "\n       " + text[end:])


def write_svg():
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{PANEL_W}" height="{PANEL_H}" '
             f'viewBox="0 0 {PANEL_W} {PANEL_H}" fill="none">',
             '<defs><linearGradient id="edge" x1="0" y1="0" x2="1" y2="0">'
             '<stop offset="0" stop-color="#2de2e6"/><stop offset="1" stop-color="#7b5cff"/></linearGradient>'
             '<linearGradient id="case" x1="0" y1="0" x2="0" y2="1">'
             '<stop offset="0" stop-color="#1a212b"/><stop offset="1" stop-color="#10151b"/></linearGradient></defs>',
             f'<rect x="2" y="4" width="{PANEL_W - 4}" height="{PANEL_H - 8}" rx="14" fill="url(#case)" '
             'stroke="#3a4556" stroke-width="2"/>',
             f'<path d="M36 4h{PANEL_W - 72}" stroke="url(#edge)" stroke-width="2" opacity="0.8"/>',
             '<g fill="#0b0f14" stroke="#3f4b5c" stroke-width="1.2">']
    inset = (UNIT - CAP) / 2
    for k in KEYS:
        x, y, w, h = rect_of(k)
        parts.append(f'<rect x="{x + inset:.1f}" y="{y + inset:.1f}" width="{w - 2 * inset:.1f}" '
                     f'height="{h - 2 * inset:.1f}" rx="4"/>')
    parts.append("</g></svg>")
    open("skin/images/device/keyboard.svg", "w", encoding="utf-8").write("".join(parts) + "\n")


def write_language(path, lang):
    text = open(path, encoding="utf-8").read()
    begin = "<!-- keyboard page and lighting engine -->"
    finish = "<!-- end of keyboard page and lighting engine -->"
    a = text.index(begin) + len(begin)
    b = text.index(finish)
    section = text[a:b]
    # Keep what is written by hand; replace the generated key names.
    kept = [l for l in section.splitlines() if l.strip() and 'id="kb_key_' not in l]
    generated = []
    for k in sorted(KEYS, key=lambda k: k[0]):
        ident = k[1]
        label = label_of(k, lang)
        spoken = SPOKEN.get(ident, (k[2], k[3]))[0 if lang == "en" else 1]
        if not spoken:
            spoken = label
        generated.append(f'  <Text id="kb_key_{ident}" value="{html.escape(label, quote=True)}"/>')
        generated.append(f'  <Text id="kb_key_name_{ident}" value="{html.escape(spoken, quote=True)}"/>')
    body = "\n" + "\n".join(kept + generated) + "\n  "
    open(path, "w", encoding="utf-8").write(text[:a] + body + text[b:])


if __name__ == "__main__":
    positions = [k[0] for k in KEYS]
    assert len(positions) == len(set(positions)), "a key position twice"
    for k in KEYS:
        x, y, w, h = rect_of(k)
        assert x >= 0 and y >= 0 and x + w <= PANEL_W and y + h <= PANEL_H, k
    write_xml()
    write_svg()
    write_language("skin/lan_en.xml", "en")
    write_language("skin/lan_cn.xml", "cn")
    print(f"{len(KEYS)} keys")
