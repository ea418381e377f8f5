#!/usr/bin/env python3
"""Writes skin/XML/CustomControlXML/LightControl.xml, the lighting panel's skin.

The panel's controls are found by name, so the names here are the contract with
editors/CLightControlUI.cpp. Run from the repository root after changing the layout:
    python3 tools/generate_light_panel.py
"""
M0 = '<property name="leftMargin"><number>0</number></property><property name="topMargin"><number>0</number></property><property name="rightMargin"><number>0</number></property><property name="bottomMargin"><number>0</number></property>'
out = []
def box(kind, name, items, spacing=6, props=""):
    lay = "QHBoxLayout" if kind == "h" else "QVBoxLayout"
    s = f'<widget class="QWidget" name="{name}">{props}<layout class="{lay}" name="{name}_l"><property name="spacing"><number>{spacing}</number></property>{M0}'
    for it in items:
        s += "<item>" + it + "</item>" if not it.startswith("<item") else it
    return s + "</layout></widget>"
def stretch(name, v=False):
    o = "Qt::Vertical" if v else "Qt::Horizontal"
    return f'<item><spacer name="{name}"><property name="orientation"><enum>{o}</enum></property><property name="sizeHint" stdset="0"><size><width>1</width><height>1</height></size></property></spacer></item>'
def label(name, text, width=72):
    return f'<widget class="QLabel" name="{name}"><property name="text"><string>{text}</string></property><property name="class"><string>lighting_caption</string></property><property name="minimumSize"><size><width>{width}</width><height>0</height></size></property></widget>'
def combo(name, acc, items=(), width=150):
    s = f'<widget class="QComboBox" name="{name}"><property name="accessibleName"><string>{acc}</string></property><property name="minimumSize"><size><width>{width}</width><height>0</height></size></property><property name="maximumSize"><size><width>{width}</width><height>16777215</height></size></property>'
    for i in items:
        s += f'<item><property name="text"><string>{i}</string></property></item>'
    return s + "</widget>"
def button(name, text, tip=None):
    t = f'<property name="toolTip"><string>{tip}</string></property>' if tip else ""
    return f'<widget class="QPushButton" name="{name}"><property name="text"><string>{text}</string></property>{t}<property name="class"><string>lighting_button</string></property></widget>'
def slider(name, acc):
    return f'<widget class="QSlider" name="{name}"><property name="accessibleName"><string>{acc}</string></property><property name="orientation"><enum>Qt::Horizontal</enum></property><property name="maximum"><number>4</number></property><property name="pageStep"><number>1</number></property></widget>'
def radio(name, text):
    return f'<widget class="QRadioButton" name="{name}"><property name="text"><string>{text}</string></property><property name="autoExclusive"><bool>true</bool></property></widget>'
def check(name, text):
    return f'<widget class="QCheckBox" name="{name}"><property name="text"><string>{text}</string></property></widget>'
def swatch(name, colour, tip, size=20):
    return f'<widget class="QPushButton" name="{name}"><property name="toolTip"><string>{tip}</string></property><property name="accessibleName"><string>{tip}</string></property><property name="swatchcolor"><string>{colour}</string></property><property name="class"><string>lighting_swatch</string></property><property name="minimumSize"><size><width>{size}</width><height>{size}</height></size></property><property name="maximumSize"><size><width>{size}</width><height>{size}</height></size></property></widget>'
def edit(name, acc):
    return f'<widget class="QLineEdit" name="{name}"><property name="accessibleName"><string>{acc}</string></property><property name="toolTip"><string>{acc}</string></property><property name="minimumSize"><size><width>40</width><height>0</height></size></property><property name="maximumSize"><size><width>40</width><height>16777215</height></size></property><property name="maxLength"><number>3</number></property></widget>'
def colour_button(name):
    return f'<widget class="QPushButton" name="{name}"><property name="accessibleName"><string>light_current_colour_text</string></property><property name="toolTip"><string>light_current_colour_text</string></property><property name="class"><string>lighting_swatch</string></property><property name="minimumSize"><size><width>34</width><height>20</height></size></property><property name="maximumSize"><size><width>34</width><height>20</height></size></property><property name="focusPolicy"><enum>Qt::NoFocus</enum></property></widget>'
def palette(name):
    return f'<widget class="ColorPalette" name="{name}"><property name="accessibleName"><string>light_palette_text</string></property><property name="toolTip"><string>light_palette_text</string></property><property name="minimumSize"><size><width>200</width><height>72</height></size></property><property name="sizePolicy"><sizepolicy hsizetype="Expanding" vsizetype="Preferred"><horstretch>1</horstretch><verstretch>0</verstretch></sizepolicy></property></widget>'

SW = [("#ff0000","red"),("#ff8000","orange"),("#ffff00","yellow"),("#00ff00","green"),("#00ffff","cyan"),("#0000ff","blue"),("#8000ff","purple"),("#ffffff","white")]
def swatches(row, prefix):
    return box("h", row, [swatch(f"{prefix}{i+1}", c, f"light_swatch_{n}") for i,(c,n) in enumerate(SW)] + [stretch(row + "_end")], spacing=5)
def rgb(row, p, button_name):
    return box("h", row, [label(f"{row}_r", "light_red_short", 0), edit(f"deng_{p}edit_R", "light_red_text"),
                          label(f"{row}_g", "light_green_short", 0), edit(f"deng_{p}edit_G", "light_green_text"),
                          label(f"{row}_b", "light_blue_short", 0), edit(f"deng_{p}edit_B", "light_blue_text"),
                          colour_button(button_name), stretch(row + "_end")], spacing=5)

effect = box("v", "lighteffect_layout", [
    box("h", "light_mode_row", [label("light_mode_label", "light_mode_text"), combo("light_combo_modeSelect", "light_mode_text", (), 160),
                                button("deng_same_mode", "light_same_mode_text", "light_same_mode_tip"), stretch("light_mode_row_end")]),
    box("h", "light_combo_ZZCCmodeSelectLayout", [label("light_zzcc_label", "light_zzcc_text"),
        combo("light_combo_ZZCCmodeSelect", "light_zzcc_text", [f"light_zzcc_item_{i}" for i in range(1,5)], 160), stretch("light_zzcc_end")]),
    box("h", "lightcustom_layout", [label("light_custom_label", "light_custom_group_text"),
        combo("light_combo_custommodeSelect", "light_custom_group_text", [f"light_custom_group_{i}" for i in range(1,5)], 120),
        button("custom_bright_color_btn", "light_custom_paint_text", "light_custom_paint_tip"),
        button("custom_off_color_btn", "light_custom_off_text", "light_custom_off_tip"), stretch("light_custom_end")]),
    box("h", "light_combo_AudiomodeSelectLayout", [label("light_audio_label", "light_audio_mode_text"),
        combo("light_combo_audiomodeSelect", "light_audio_mode_text", [f"light_audio_mode_{i}" for i in range(1,5)], 160), stretch("light_audio_end")]),
    box("h", "deng_light_layout", [label("light_brightness_label", "light_brightness_text"), slider("deng_light_slider", "light_brightness_text")]),
    box("h", "deng_speed_layout", [label("light_speed_label", "light_speed_text"), slider("deng_speed_slider", "light_speed_text")]),
    box("h", "deng_fx_layout", [label("light_direction_label", "light_direction_text"), radio("deng_FXL_check", "light_set_right_to_left_text"),
                                radio("deng_FXR_check", "light_set_left_to_right_text"), stretch("deng_fx_end")]),
    stretch("lighteffect_end", True)], spacing=4,
    props='<property name="minimumSize"><size><width>320</width><height>0</height></size></property><property name="maximumSize"><size><width>340</width><height>16777215</height></size></property>')

colour_page = box("h", "light_colour_page", [
    box("v", "deng_color_layout", [swatches("light_swatch_row", "color_option_"), rgb("light_rgb_row", "", "deng_colordp_btn"),
                                   check("deng_7color_check", "light_seven_colour_text"), stretch("deng_color_end", True)], spacing=6,
        props='<property name="maximumSize"><size><width>260</width><height>16777215</height></size></property>'),
    box("v", "colorpallet_layout", [palette("deng_Color_Pallet")], spacing=0)], spacing=14)
audio_page = box("h", "light_audio_page", [
    box("v", "light_audiocolor_layout", [
        box("h", "light_audio_which", [radio("audio_BkColor_check", "light_audio_background_text"), radio("audio_FgColor_check", "light_audio_foreground_text"),
                                       button("Close_bkColor_btn", "light_audio_black_text"), stretch("light_audio_which_end")], spacing=8),
        swatches("light_audio_swatch_row", "audiocolor_option_"), rgb("light_audio_rgb_row", "audio", "deng_audiocolordp_btn"),
        check("deng_7audiocolor_check", "light_seven_colour_text"), stretch("light_audiocolor_end", True)], spacing=4),
    box("v", "audiocolorpallet_layout", [palette("deng_audioColor_Pallet")], spacing=0)], spacing=14)
stack = f'<widget class="QStackedWidget" name="light_color_tablayout">{colour_page}{audio_page}</widget>'
colour = box("v", "light_color_layout", [stack], spacing=0)
panel = box("h", "light_control_panel", [effect, colour], spacing=20,
            props='<property name="class"><string>lighting_panel</string></property>')

import re
def pretty(s):
    # one element that holds children per line, indented by depth
    toks = re.findall(r'<[^>]+>|[^<]+', s)
    lines, depth, buf = [], 1, ""
    i = 0
    # keep leaf widgets/properties on one line: break only around <item>, <layout>, containers
    for t in toks:
        if re.match(r'<(item|layout)\b', t) or re.match(r'<widget class="(QWidget|QStackedWidget)"', t):
            if buf: lines.append(" " * depth + buf); buf = ""
            lines.append(" " * depth + t); depth += 1
        elif re.match(r'</(item|layout)>', t):
            if buf: lines.append(" " * depth + buf); buf = ""
            depth -= 1; lines.append(" " * depth + t)
        elif t == "</widget>" and not buf:
            depth -= 1; lines.append(" " * depth + t)
        else:
            buf += t
            if t == "</widget>" or t.endswith("/>") and t.startswith("<widget"):
                if buf.count("<widget") <= buf.count("</widget>") + buf.count("/>") and buf.startswith("<widget"):
                    lines.append(" " * depth + buf); buf = ""
            elif buf.startswith("<property") and t == "</property>":
                lines.append(" " * depth + buf); buf = ""
            elif buf.startswith("<spacer") and t == "</spacer>":
                lines.append(" " * depth + buf); buf = ""
    if buf: lines.append(buf)
    return "\n".join(lines)

head = '''<?xml version="1.0" encoding="UTF-8"?>
<!-- The lighting panel: the effect (mode, the keyboard's preset, key-colour group and music
     style, brightness, speed, direction, same lighting on all devices) beside the colours
     (swatches, red, green and blue, the seven-colour cycle and a colour field; a second page
     holds the colours of the music-driven effect). The panel class finds every control by its
     name; on narrow pages it stacks the colour field under the swatches. -->
<ui version="4.0">
 <class>QWidget</class>
'''
import sys
open(sys.argv[1] if len(sys.argv) > 1 else "skin/XML/CustomControlXML/LightControl.xml", "w").write(head + pretty(panel) + "\n</ui>\n")
