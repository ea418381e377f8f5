#include "app/AudioStyles.h"

#include "profiles/CJsonFile.h"
#include "profiles/UserFiles.h"

#include <QFileInfo>
#include <algorithm>

namespace app {

namespace {

const char* const kDefaultNames[AudioStyles::kCount] = {"第一组", "第二组", "第三组", "第四组"};

int Member(const Json::Value& object, const std::string& key, int fallback, int low, int high)
{
    const Json::Value& v = object.isObject() ? object[key] : Json::Value::nullSingleton();
    if (!v.isIntegral())
        return fallback;
    const int64_t n = v.asInt64();
    return int(std::clamp<int64_t>(n, low, high));
}

}  // namespace

AudioStyles::AudioStyles()
{
    for (int i = 0; i < kCount; ++i)
        names[size_t(i)] = DefaultName(i);
}

QString AudioStyles::DefaultName(int style)
{
    return style >= 0 && style < kCount ? QString::fromUtf8(kDefaultNames[style]) : QString();
}

QString AudioStyles::NameOrDefault(int style, const QString& name)
{
    return name.isEmpty() ? DefaultName(style) : name;
}

AudioStyles AudioStyles::Load(const Json::Value& device)
{
    AudioStyles s;
    const Json::Value& info = device.isObject() ? device["AudioLightInfo"] : Json::Value::nullSingleton();
    if (!info.isObject())
        return s;
    s.current = uint8_t(Member(info, "nAudioStyle", 0, 0, kCount - 1));
    for (int i = 0; i < kCount; ++i) {
        const Json::Value& name = info["nStyleName" + std::to_string(i + 1)];
        if (name.isString())
            s.names[size_t(i)] = NameOrDefault(i, Utf8ToWide(name.asString()));
        const char* channels[] = {"nStyleR", "nStyleG", "nStyleB"};
        for (int c = 0; c < 3; ++c)
            s.colours[size_t(i)][size_t(c)] =
                uint8_t(Member(info, channels[c] + std::to_string(i), 0, 0, kMaxStep));
    }
    return s;
}

void AudioStyles::Store(Json::Value& device) const
{
    if (!device.isObject())
        device = Json::Value(Json::objectValue);
    Json::Value& info = device["AudioLightInfo"];
    if (!info.isObject())
        info = Json::Value(Json::objectValue);
    info["nAudioStyle"] = int(current);
    for (int i = 0; i < kCount; ++i) {
        info["nStyleName" + std::to_string(i + 1)] = WideToUtf8(names[size_t(i)]);
        info["nStyleR" + std::to_string(i)] = int(colours[size_t(i)][0]);
        info["nStyleG" + std::to_string(i)] = int(colours[size_t(i)][1]);
        info["nStyleB" + std::to_string(i)] = int(colours[size_t(i)][2]);
    }
}

namespace audiofile {

bool HoldsStyles(const Json::Value& document)
{
    return document.isObject() && document["Device"].isObject() && document["Device"]["AudioLightInfo"].isObject();
}

Json::Value LoadAtStart(const QString& userFile, const QString& shippedFile)
{
    Json::Value user = CJsonFile::ReadJson(userFile);
    if (HoldsStyles(user))
        return user;
    Json::Value shipped = CJsonFile::ReadJson(shippedFile);
    if (!HoldsStyles(shipped))
        return Json::Value();
    // The user's file lacks the styles: the shipped ones take its place, but a file that was
    // there (damaged, or from elsewhere) is kept beside it rather than lost.
    if (userfiles::KeptBeforeReplacing(userFile))
        CJsonFile::WriteJson(userFile, shipped);
    return shipped;
}

int Save(const QString& userFile, const Json::Value& document)
{
    const int rc = CJsonFile::WriteJson(userFile, document);
    userfiles::NoteSave(userFile, rc == 0);
    return rc;
}

}  // namespace audiofile

}  // namespace app
