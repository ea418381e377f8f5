#pragma once

// The window's message boxes answered in tests: a modal box would wait for a click nobody
// makes, and a message a test does not expect (a device slow to answer on a loaded machine)
// would hang the test until its time-out instead of showing in its output.
#include "editors/PanelServices.h"

#include <QStringList>

#include <cstdio>

namespace testsupport {

// Installs, after the window's own, message answers that confirm and record the text (into
// `told` when given) and print it.
inline void AnswerMessages(QStringList* told = nullptr)
{
    editors::PanelServices services;
    services.message = [told](QWidget*, const QString& body, bool, int) {
        std::fprintf(stderr, "message shown: %s\n", qPrintable(body));
        if (told)
            *told << body;
        return 1;
    };
    editors::InstallServices(services);
}

}  // namespace testsupport
