#pragma once

#include <QString>
#include <QStringList>

namespace app {

// What the command line asks of this start. Every option Tessel takes is declared in
// CommandLine.cpp, in one table, so a new option is one row there and one member here.
struct StartOptions {
    bool minimized = false;  // --minimized / --hidden: start in the tray, the window stays closed
    bool background = false; // --background: no window and no tray icon until a later start asks
    QString language;        // --lang: a "Language_name" of Language.config, for this session only
    QString dataDir;         // --data-dir: the data folder (skin, DefaultData, Font)
};

// The outcome of reading the command line.
struct CommandLineResult {
    enum Action { Run, ExitOk, ExitUsage };
    Action action = Run;
    int exitCode = 0;   // 0 for Run and ExitOk, 2 for ExitUsage
    QString output;     // printed on stdout (ExitOk) or stderr (ExitUsage) before exiting
    StartOptions options;
};

// Reads `arguments` (the program name first). Needs no QCoreApplication, so --help and
// --version answer without starting a GUI or touching the instance lock. An unknown option, a
// missing value, a stray argument or a missing --data-dir folder gives the message and the
// usage with exit code 2.
CommandLineResult ParseCommandLine(const QStringList& arguments);
// Checks --lang against the language list (`languageConfig`, empty: Language.config of the
// data folder; needs the application object for that). Run, or the usage with exit code 2.
CommandLineResult CheckLanguage(const StartOptions& options, const QString& languageConfig = {});

// The usage text printed by --help.
QString UsageText();

// The options of the running process, as Run() read them.
const StartOptions& CurrentStartOptions();
void SetCurrentStartOptions(const StartOptions& options);

// True for a start that opens no window by itself (--minimized, --background).
bool StartsWithoutWindow();

// The language list index the --lang of this start selects, or -1 when none was given. The
// caller shows it without storing it as the user's choice.
int SessionLanguageIndex(const QStringList& languageNames);

}  // namespace app
