// Profile files: the input is the profile file and the default profile file at once (so both
// the plain load and the repair path run), then every getter and setter of the profile
// classes, the saves, and the custom effect look-up with the input as light configuration.

#include "profiles/CHs6533Profiledata.h"
#include "profiles/CKeyboardProfiledata.h"
#include "profiles/CMouseProfiledata.h"
#include "profiles/ProfileCheck.h"

#include <QFile>
#include <QTemporaryDir>

#include "fuzz_profiles_scratch.h"

#include <cstddef>
#include <cstdint>

namespace {

void writeInput(const QString& path, const uint8_t* data, size_t size)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(reinterpret_cast<const char*>(data), qint64(size));
}

void exerciseBase(CBasicProfiledata& p, const QString& input, const QString& out)
{
    p.SetDefaultPath(input);
    p.SetProfilePath(out);
    p.LoadDeviceData(input);
    // Corrected once (against itself as the default), an entry holds nothing more to correct.
    for (int kind : {1, 2, 3, 7}) {
        const profilecheck::Limits limits{kind, 10, 100};
        Json::Value entry = p.ActiveSlot();
        profilecheck::CheckDeviceEntry(entry, limits, p.ActiveSlot());
        if (!profilecheck::CheckDeviceEntry(entry, limits).empty())
            __builtin_trap();
    }
    p.CorrectActive({2, 10, 100});
    LightInfo info = p.GetLightInfo();
    p.GetAudioLightInfo();
    p.GetLightList();
    std::vector<KeyAssignmentPair> keys = p.GetKeyList();
    p.LoadLightConfig(input);
    for (uint8_t mode = 0; mode < 4; ++mode) {
        info.mode = mode;
        p.SetLightInfo(info);
        for (int model = -1; model <= 4; ++model)
            p.GetLedEffects(model);
    }
    p.SetAudioLightInfo(p.GetAudioLightInfo());
    keys.resize(keys.size() / 2);
    p.SetKeyList(keys);
    p.LoadScratchData(input);
    p.SetScratchKeyList(p.GetScratchKeyList());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(scratchFolderTemplate());
    const QString input = dir.filePath("input.Json");
    const QString out = dir.filePath("out.Json");

    writeInput(input, data, size);
    CKeyboardProfiledata kb;
    exerciseBase(kb, input, out);
    kb.SetSystemStages(kb.GetSystemStages());
    for (int group = 0; group < 3; ++group)
        kb.SetCustomLightColors(kb.GetCustomLightColors(group, 8), group);
    kb.SetCustomLightGroup(1);
    kb.Save();
    kb.SaveScratchTo(out);

    writeInput(input, data, size);
    CMouseProfiledata mouse;
    exerciseBase(mouse, input, out);
    mouse.SetDpiStages(mouse.GetDpiStages());
    mouse.SetActiveStage(mouse.GetActiveStage());
    mouse.SetSystemStages(mouse.GetSystemStages());
    mouse.GetCorrectInfo();

    writeInput(input, data, size);
    CHs6533Profiledata hs;
    exerciseBase(hs, input, out);
    hs.SetSystemSetStages(hs.GetSystemSetStages());
    for (int n : {0, 1, 5, 12, 13, 14, -1})
        hs.SetEqValues(n, hs.GetEqValues(n));
    for (int s : {0, 3, 19})
        hs.SetCustomEqValues(s, hs.GetCustomEqValues(s));
    hs.SetCustomEqNames(hs.GetCustomEqNames());
    hs.Save();
    clearKeptCopies(dir.path());
    return 0;
}
