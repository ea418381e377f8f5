// Writes the shipped default data ("DefaultData") into a folder:
//   tessel_generate_default_data <folder>
// The key lists come from the factory key tables and the equaliser curves from the headset's
// built-in presets, so the shipped files cannot drift from what the devices hold. Every other
// value is chosen here, once, instead of by hand in the JSON files.

#include "profiles/CJsonFile.h"
#include "profiles/HeadsetEqPresets.h"
#include "keytables/DefaultKeyTables.h"

#include <QDir>
#include <QString>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Mode {
    const char* textId;
    bool visible;
};

// The built-in lighting modes of each model, in mode-list order; a mode's device value is its
// index. Hidden modes are reached only through custom effects (the step sequence).
const std::vector<Mode> kKeyboardModes = {
    {"light_mode_kb_custom_effect", false}, {"light_mode_kb_wave", true},
    {"light_mode_kb_fine_wave", true},      {"light_mode_kb_snake_rainbow", true},
    {"light_mode_kb_spectrum", true},       {"light_mode_kb_breathing", true},
    {"light_mode_kb_static", true},         {"light_mode_kb_reaction", true},
    {"light_mode_kb_ripple_cycle", true},   {"light_mode_kb_ripple", true},
    {"light_mode_kb_rain", true},           {"light_mode_kb_colour_cycle", true},
    {"light_mode_kb_row_wave", true},       {"light_mode_kb_centre_ripple", true},
    {"light_mode_kb_show", true},           {"light_mode_kb_twinkle", true},
    {"light_mode_kb_bouncing_ripple", true}, {"light_mode_kb_preset_colour", true},
    {"light_mode_kb_diagonals", true},      {"light_mode_kb_custom_colours", true},
    {"light_mode_kb_off", true},            {"light_mode_kb_snake", true},
    {"light_mode_kb_wave_twinkle", true},   {"light_mode_kb_flash", true},
    {"light_mode_kb_rolling_rows", true},   {"light_mode_kb_reaction_trail", true},
    {"light_mode_kb_breathing_four", true}, {"light_mode_kb_flash_four", true},
    {"light_mode_kb_step_sequence", false}, {"light_mode_kb_music", true},
    {"light_mode_kb_screen_colour", true},
};
const std::vector<Mode> kMouseModes = {
    {"light_mode_ms_group_wave", true},    {"light_mode_ms_spectrum", true},
    {"light_mode_ms_breathing", true},     {"light_mode_ms_static", true},
    {"light_mode_ms_flash", true},         {"light_mode_ms_ring_chase", true},
    {"light_mode_ms_reaction", true},      {"light_mode_ms_breathing_four", true},
    {"light_mode_ms_flash_four", true},    {"light_mode_ms_off", true},
    {"light_mode_ms_custom_effect", false},
};
const std::vector<Mode> kPadModes = {
    {"light_mode_pad_wave", true},        {"light_mode_pad_spectrum", true},
    {"light_mode_pad_breathing", true},   {"light_mode_pad_static", true},
    {"light_mode_pad_flash", true},       {"light_mode_pad_custom_effect", false},
    {"light_mode_pad_ring", true},        {"light_mode_pad_paired_ring", true},
    {"light_mode_pad_off", true},
};
const std::vector<Mode> kHeadsetModes = {
    {"light_mode_hs_wave", true},         {"light_mode_hs_spectrum", true},
    {"light_mode_hs_breathing", true},    {"light_mode_hs_static", true},
    {"light_mode_hs_flash", true},        {"light_mode_hs_custom_effect", false},
    {"light_mode_hs_ring", true},         {"light_mode_hs_paired_ring", true},
    {"light_mode_hs_off", true},
};
const std::vector<std::vector<const char*>> kAreas = {
    {"light_area_kb_keys"},
    {"light_area_ms_logo", "light_area_ms_wheel", "light_area_ms_strip"},
    {"light_area_pad_edge"},
    {"light_area_hs_earcups"},
};

// Factory lighting of every device: mode 1, full brightness, medium speed, colourful red.
Json::Value lightInfo()
{
    Json::Value v;
    v["SelectItem"] = 1;
    v["Light"] = 4;
    v["Speed"] = 2;
    v["Fx"] = 0;
    v["MultiColor"] = 1;
    v["Red"] = 255;
    v["Green"] = 0;
    v["Blue"] = 0;
    v["ZZCCLedMode"] = 0;
    v["CustomGroup"] = 0;
    v["OldLedmode"] = 1;
    return v;
}

// The starting values the light editor offers for each mode.
Json::Value lightList(size_t modes)
{
    Json::Value list(Json::arrayValue);
    for (size_t i = 0; i < modes; ++i) {
        Json::Value e;
        e["LEDREGMode"] = Json::UInt(i);
        e["LEDBrightness"] = 4;
        e["LEDSpeed"] = 2;
        e["LEDDirection"] = 0;
        e["LEDMultiColor"] = 1;
        e["red"] = 255;
        e["green"] = 0;
        e["blue"] = 0;
        list.append(e);
    }
    return list;
}

template <class Table>
Json::Value keyList(const Table& table)
{
    Json::Value list(Json::arrayValue);
    for (const keytables::KeyTriple& t : table) {
        Json::Value e;
        e["Assignment"] = t.packed();
        e["DefaultAssignment"] = t.packed();
        list.append(e);
    }
    return list;
}

Json::Value document(const Json::Value& entry)
{
    Json::Value doc;
    doc["Device"].append(entry);
    return doc;
}

Json::Value keyboardProfile()
{
    Json::Value e;
    e["LightInfo"] = lightInfo();
    Json::Value audio;
    audio["AudioMode"] = 0;
    audio["BkColorR"] = 0;
    audio["BkColorG"] = 0;
    audio["BkColorB"] = 0;
    audio["FgColorR"] = 0;
    audio["FgColorG"] = 128;
    audio["FgColorB"] = 255;
    audio["7ColorFlags"] = 1;
    audio["ColorTypeFlags"] = 1;
    e["AudioLightInfo"] = audio;
    e["LightList"] = lightList(kKeyboardModes.size());
    e["KeyList"] = keyList(keytables::keyboardDefaultKeyTable());
    Json::Value stages;
    stages["Repeat"] = 0;
    stages["RepeatDelay"] = 1;  // 500 ms
    stages["Key6Flag"] = 0;
    stages["PollingRate"] = 1;
    stages["WFlag"] = 0;
    stages["WinFlag"] = 0;
    e["SystemStages"] = stages;
    // Custom colour groups are created (all zero) the first time the editor reads them.
    e["CustomLightMode"]["LightColorInfo"] = Json::Value(Json::arrayValue);
    e["CustomLightMode"]["CustomLightModeGroupIndex"] = 0;
    return document(e);
}

Json::Value mouseProfile()
{
    Json::Value e;
    e["LightInfo"] = lightInfo();
    e["LightList"] = lightList(kMouseModes.size());
    e["KeyList"] = keyList(keytables::mouseDefaultButtons());
    // Sensor step indexes (100 DPI per step from 200 DPI): 600, 1100, 1600, 2600, 5200 DPI.
    const int steps[5] = {4, 9, 14, 24, 49};
    const int colours[5][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {255, 0, 255}};
    Json::Value dpi;
    dpi["StageActive"] = 1;
    for (int s = 0; s < 5; ++s) {
        Json::Value st;
        st["StageActive"] = 1;
        st["StageXY"] = 0;
        st["StageDPIX"] = steps[s];
        st["StageDPIY"] = steps[s];
        st["StageColorR"] = colours[s][0];
        st["StageColorG"] = colours[s][1];
        st["StageColorB"] = colours[s][2];
        dpi["StageDPIs"].append(st);
    }
    e["DPIStages"] = dpi;
    Json::Value system;
    system["DoubleClickTime"] = 500;
    system["MouseSpeed"] = 10;
    system["PointerPrecision"] = 1;
    system["ScorllPage"] = 0;
    system["WheelScorlllinse"] = 3;
    e["SystemStages"] = system;
    e["ReportStages"]["StageActive"] = 3;  // 1000 Hz
    // Angle-snapping presets; none is selected at first, so the mouse gets no correction.
    const struct {
        const char* name;
        int pixThresh;
        int minSq;
    } presets[] = {{"correct_preset_light", 2, 1}, {"correct_preset_medium", 4, 2},
                   {"correct_preset_strong", 8, 4}};
    for (const auto& p : presets) {
        Json::Value c;
        c["CorrectName"] = p.name;
        c["CorrectPixThresh"] = p.pixThresh;
        c["CorrectMinSq"] = p.minSq;
        c["CorrectSelect"] = 0;
        e["CorrectInfo"].append(c);
    }
    return document(e);
}

Json::Value padProfile()
{
    Json::Value e;
    e["LightInfo"] = lightInfo();
    e["LightList"] = lightList(kPadModes.size());
    return document(e);
}

Json::Value headsetProfile()
{
    Json::Value e;
    e["LightInfo"] = lightInfo();
    e["LightList"] = lightList(kHeadsetModes.size());
    Json::Value set;
    set["MagicEnable"] = 0;
    set["MagicType"] = 1;
    set["EqType"] = 5;  // the flat curve
    set["CustomEqSeletIndex"] = 0;
    set["MicInSelect"] = 1;
    set["MicInValue"] = 80;
    set["MicMoniterSelect"] = 0;
    set["MicMoniterValue"] = 50;
    e["SystemSetStages"] = set;
    // Element 0 is never a preset; it holds a flat curve so that every element is well formed.
    Json::Value curves(Json::arrayValue);
    for (int n = 0; n <= eq::kBuiltinPresets; ++n) {
        Json::Value bands(Json::arrayValue);
        for (int b = 0; b < eq::kBands; ++b) {
            Json::Value band;
            band["value"] = n == 0 ? 0 : eq::builtinCurve(n)[size_t(b)];
            bands.append(band);
        }
        curves.append(bands);
    }
    e["EQHzValueInfo"] = curves;
    e["CustomEQHzValueInfo"] = Json::Value(Json::arrayValue);
    e["CustomEQNameInfo"] = Json::Value(Json::arrayValue);
    return document(e);
}

Json::Value defaultLight()
{
    Json::Value doc;
    for (const auto* modes : {&kKeyboardModes, &kMouseModes, &kPadModes, &kHeadsetModes}) {
        Json::Value list(Json::arrayValue);
        for (size_t i = 0; i < modes->size(); ++i) {
            Json::Value m;
            m["LightName"] = (*modes)[i].textId;
            m["visible"] = (*modes)[i].visible ? 1 : 0;
            m["value"] = Json::UInt(i);
            list.append(m);
        }
        doc["DefaultLightName"].append(list);
    }
    for (const auto& areas : kAreas) {
        Json::Value list(Json::arrayValue);
        for (const char* name : areas) {
            Json::Value a;
            a["LightName"] = name;
            list.append(a);
        }
        doc["AreaLightName"].append(list);
    }
    return doc;
}

// One gun: 30 bullets of six events each (press, release, sideways move, vertical move with the
// bullet's delay, and two zero moves). The recoil climbs over the first bullets and settles; the
// sideways drift follows a slow swing that differs per gun.
Json::Value shootPattern(int gun)
{
    struct Gun {
        int delayMs;     // time between shots less the press and move delays
        double climb;    // vertical pull at the peak
        double settle;   // vertical pull once the recoil settles
        double sway;     // largest sideways pull
        double period;   // bullets per sideways swing
    };
    const Gun guns[4] = {{85, 7, 5, 3, 14}, {65, 8, 6, 2, 10}, {52, 5, 3, 2, 8}, {70, 9, 7, 4, 18}};
    const Gun& g = guns[gun];
    auto event = [](const char* action, int button, int delay, int type) {
        Json::Value e;
        e["Action"] = action;
        e["Button"] = button;
        e["Delay"] = delay;
        e["Type"] = type;
        return e;
    };
    Json::Value events(Json::arrayValue);
    for (int b = 0; b < 30; ++b) {
        const double rise = b < 8 ? 3 + (g.climb - 3) * b / 7.0 : g.settle + (g.climb - g.settle) *
                                                                               std::exp(-(b - 8) / 4.0);
        const double side = g.sway * std::sin(2 * M_PI * b / g.period);
        const int y = int(std::lround(rise));
        const int x = int(std::lround(std::fabs(side)));
        // "down" moves left (sideways) or up (vertically); recoil is pulled down, so "up".
        const char* xDir = side < 0 ? "down" : "up";
        const char* yDir = "up";
        events.append(event("down", 1, 10, 1));
        events.append(event("up", 1, 0, 1));
        events.append(event(xDir, x, 5, 4));
        events.append(event(yDir, y, g.delayMs, 5));
        events.append(event(xDir, 0, 0, 4));
        events.append(event(yDir, 0, 0, 5));
    }
    Json::Value doc;
    doc["MacroName"] = "ShootData_" + std::to_string(gun);
    doc["Guid"] = "ShootData_" + std::to_string(gun);
    doc["Version"] = 64;
    doc["Events"] = events;
    return doc;
}

Json::Value colourOptions()
{
    const char* presets[20] = {"FFFF0000", "FFFF4000", "FFFF8000", "FFFFBF00", "FFFFFF00",
                               "FFBFFF00", "FF00FF00", "FF00FF80", "FF00FFFF", "FF0080FF",
                               "FF0000FF", "FF4000FF", "FF8000FF", "FFBF00FF", "FFFF00FF",
                               "FFFF0080", "FFFFFFFF", "FFC0C0C0", "FF808080", "FF404040"};
    Json::Value info;
    for (const char* c : presets) {
        Json::Value p;
        p["color"] = c;
        info["palletDialogcoloroption"].append(p);
    }
    info["palletDialogcoloroption_selectitem"] = 4;
    for (int i = 0; i < 20; ++i) {
        Json::Value k;
        k["color"] = "FFFFFFFF";
        k["UserData"] = "";
        info["palletDialogcollectcoloroption"].append(k);
    }
    info["palletDialogcollectcoloroption_selectitem"] = 0;
    Json::Value doc;
    doc["coloroptioninfo"] = info;
    return doc;
}

Json::Value audioStyles()
{
    Json::Value a;
    a["nAudioStyle"] = 0;
    const char* names[4] = {"第一组", "第二组", "第三组", "第四组"};
    const int colours[4][3] = {{9, 0, 0}, {0, 9, 0}, {0, 4, 9}, {9, 6, 0}};
    for (int s = 0; s < 4; ++s) {
        a["nStyleName" + std::to_string(s + 1)] = names[s];
        a["nStyleR" + std::to_string(s)] = colours[s][0];
        a["nStyleG" + std::to_string(s)] = colours[s][1];
        a["nStyleB" + std::to_string(s)] = colours[s][2];
    }
    Json::Value doc;
    doc["Device"]["AudioLightInfo"] = a;
    return doc;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <DefaultData folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    struct Output {
        const char* name;
        Json::Value doc;
    };
    std::vector<Output> outputs = {
        {"keyboard.Json", keyboardProfile()}, {"mouse.Json", mouseProfile()},
        {"MousePad.Json", padProfile()},      {"HD.Json", headsetProfile()},
        {"default_light.json", defaultLight()}, {"color_option_info.config", colourOptions()},
        {"AudioFile.json", audioStyles()},
    };
    for (int gun = 0; gun < 4; ++gun)
        outputs.push_back({nullptr, shootPattern(gun)});
    int gun = 0;
    for (const Output& o : outputs) {
        const QString name = o.name ? QString::fromLatin1(o.name)
                                    : QStringLiteral("ShootData_%1.Shoot").arg(gun++);
        if (CJsonFile::WriteJson(folder + "/" + name, o.doc) != 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
