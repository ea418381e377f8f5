#include "profiles/CJsonFile.h"

#include "profiles/ProfilesLog.h"
#include "profiles/UserFiles.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <json/reader.h>
#include <json/writer.h>

#include <cstring>
#include <exception>

Json::Value CJsonFile::ReadJson(const QString& path)
{
    std::string text = ReadFileText(path);
    if (text.empty()) {
        qCDebug(profilesDebug) << "ReadJson: nothing to read in" << path;
        return Json::Value();
    }
    Json::Value root = ParseJson(std::move(text));
    if (root.isNull())
        qCDebug(profilesDebug) << "ReadJson: not valid JSON:" << path;
    return root;
}

Json::Value CJsonFile::ParseJson(std::string text)
{
    // Files written by other editors may start with a UTF-8 byte order mark.
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    Json::Value root;
    try {
        Json::Reader reader;
        if (!reader.parse(text, root, true))
            return Json::Value();
    } catch (const std::exception& e) {
        // The reader throws on nesting beyond its depth limit.
        qCDebug(profilesDebug) << "ParseJson: parser gave up:" << e.what();
        return Json::Value();
    }
    return root;
}

int CJsonFile::WriteJson(const QString& path, const Json::Value& value)
{
    std::string text;
    try {
        Json::StyledWriter writer;
        text = writer.write(value);
    } catch (const std::exception& e) {
        qCDebug(profilesDebug) << "WriteJson: cannot format" << path << e.what();
        return -1;
    }
    // StyledWriter already ends its text with a newline; the file holds exactly that.
    if (text.empty() || text.back() != '\n')
        text.push_back('\n');

    return WriteFileText(path, text);
}

int CJsonFile::WriteFileText(const QString& path, const std::string& bytes)
{
    // QSaveFile writes a temporary file beside the target and renames it over the target on
    // commit, so readers (and a crash at any moment) see either the old or the new file.
    // Unbuffered: Qt 6.4's commit() does not notice a write that fails while its buffer is
    // flushed at close, and would rename a cut-short file over the old one. Written straight
    // through, every failing write shows in write()'s result and in the error commit() checks.
    const bool created = !QFileInfo::exists(path);
    // A file refused for its size was never read: replacing it would lose what it holds. It is
    // left as it is (the user was told when it was refused).
    if (!created && userfiles::IsTooLarge(path)) {
        qCDebug(profilesDebug) << "WriteFileText: not replacing a file refused for its size" << path;
        return -1;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCDebug(profilesDebug) << "WriteFileText: cannot open" << path << file.errorString();
        return -1;
    }
    // A file the application creates is the user's alone; an existing file keeps its mode.
    if (created)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !file.flush() ||
        file.error() != QFileDevice::NoError) {
        qCDebug(profilesDebug) << "WriteFileText: short write to" << path << file.errorString();
        file.cancelWriting();
        return -1;
    }
    if (!file.commit()) {
        qCDebug(profilesDebug) << "WriteFileText: cannot replace" << path << file.errorString();
        return -1;
    }
    return 0;
}

std::string CJsonFile::ReadFileText(const QString& path)
{
    // A file far larger than its kind may be is not read into memory at all.
    if (!path.isEmpty() && userfiles::IsTooLarge(path))
        return std::string();
    QFile file(path);
    const bool opened = !path.isEmpty() && file.open(QIODevice::ReadOnly);
    // The open trace is written on success too (code 0), so a trace shows every file read.
    qCDebug(profilesDebug).noquote()
        << QStringLiteral("readjsonFile 错误吗：：%1").arg(int(file.error())) << path;
    if (!opened)
        return std::string();
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        qCDebug(profilesDebug) << "ReadFileText: read failed" << path << file.errorString();
        return std::string();
    }
    // The text ends at the first zero byte, as a C string read of the file would.
    const char* data = bytes.constData();
    const size_t length = strnlen(data, size_t(bytes.size()));
    return std::string(data, length);
}

std::string CJsonFile::MakeTimestampName(const std::function<bool(const std::string&)>& taken)
{
    QDateTime when = QDateTime::currentDateTime();
    for (;;) {
        std::string name = FormatTimestampName(when);
        if (!taken || !taken(name))
            return name;
        when = when.addMSecs(1);
    }
}

std::string CJsonFile::FormatTimestampName(const QDateTime& localTime)
{
    const QDate d = localTime.date();
    const QTime t = localTime.time();
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "%d_%02d_%02d_%02d_%02d_%02d_%03d", d.year(), d.month(),
                  d.day(), t.hour(), t.minute(), t.second(), t.msec());
    return buffer;
}

QString CJsonFile::GetFileTitle(const QString& path)
{
    // Only the last extension goes: "a.b.json" is "a.b".
    return QFileInfo(path).completeBaseName();
}

std::string WideToUtf8(const QString& text)
{
    return text.toStdString();
}

QString Utf8ToWide(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
