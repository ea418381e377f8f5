#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <json/value.h>

namespace app {

// The four user-defined audio styles: a name and a colour on a ten-step scale (0 to 9) each,
// and the one in use. The capture program receives the current style's colour.
struct AudioStyles {
    static constexpr int kCount = 4;
    static constexpr int kMaxStep = 9;

    uint8_t current = 0;
    std::array<QString, kCount> names;
    std::array<std::array<uint8_t, 3>, kCount> colours{};  // R, G, B

    AudioStyles();
    // The name a style gets back when its name is emptied.
    static QString DefaultName(int style);
    // `name`, or the style's default name when it is empty.
    static QString NameOrDefault(int style, const QString& name);

    // Reads the styles from a "Device" object ("AudioLightInfo" inside); missing or out-of-range
    // values fall back to the defaults or are held in range.
    static AudioStyles Load(const Json::Value& device);
    // Writes the styles into the "Device" object's "AudioLightInfo", keeping its other members.
    void Store(Json::Value& device) const;

    bool operator==(const AudioStyles&) const = default;
};

// The audio style file "AudioFile.json" of the user, with the shipped one as its source.
namespace audiofile {

// Whether a document holds "Device"."AudioLightInfo" as an object.
bool HoldsStyles(const Json::Value& document);
// The document to start from: the user's file when it holds the styles; otherwise the shipped
// file, copied over the user's (a damaged user file is kept beside it first). Returns the
// document in use (null when neither file holds styles).
Json::Value LoadAtStart(const QString& userFile, const QString& shippedFile);
// Writes the whole document (with its "Device" wrapper) to the user's file; 0 on success.
int Save(const QString& userFile, const Json::Value& document);

}  // namespace audiofile

}  // namespace app
