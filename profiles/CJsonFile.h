#pragma once

#include <QDateTime>
#include <QString>
#include <json/value.h>
#include <functional>
#include <string>

// The one way every JSON file of the application is read and written. Reading never fails
// loudly: a missing, empty or unparsable file reads as a null value. Writing replaces the file
// atomically (temporary file in the same folder, then rename), so a crash or a full disk never
// leaves a half-written file. Nothing here throws: parser and writer errors end as the null
// value or a non-zero result.
class CJsonFile {
public:
    static Json::Value ReadJson(const QString& path);
    // The same reading for text already in memory (a byte order mark is skipped; null when the
    // text is not JSON or nests deeper than the reader allows).
    static Json::Value ParseJson(std::string text);
    // 0 when the file was replaced; non-zero when it could not be written (the old file stays).
    static int WriteJson(const QString& path, const Json::Value& value);
    // Replaces the file with exactly these bytes, atomically like WriteJson (for copies of files
    // taken as they come, such as an imported or reset shoot pattern). 0 on success.
    static int WriteFileText(const QString& path, const std::string& bytes);
    // The file's bytes up to the first zero byte (the text a C string read would see); empty on
    // failure.
    static std::string ReadFileText(const QString& path);
    // Local time as "%d_%02d_%02d_%02d_%02d_%02d_%03d" (year ... milliseconds). Names made
    // within one millisecond (or after the clock was set back) would be the same: while `taken`
    // says a name is in use, the next millisecond's is tried.
    static std::string MakeTimestampName(const std::function<bool(const std::string&)>& taken = {});
    // The same format for a given local time.
    static std::string FormatTimestampName(const QDateTime& localTime);
    // The file name without folder and extension.
    static QString GetFileTitle(const QString& path);
};

std::string WideToUtf8(const QString& text);
QString Utf8ToWide(const std::string& text);
