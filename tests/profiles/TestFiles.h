#pragma once

#include "profiles/CJsonFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <json/reader.h>
#include <json/writer.h>  // operator<< for test messages

#include <string>

// Small helpers shared by the profile tests: a private folder and literal JSON fixtures.
namespace testfiles {

inline Json::Value parse(const std::string& text)
{
    Json::Value v;
    Json::Reader().parse(text, v, false);
    return v;
}

inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

inline void writeText(const QString& path, const std::string& text)
{
    writeBytes(path, QByteArray(text.data(), qsizetype(text.size())));
}

}  // namespace testfiles
