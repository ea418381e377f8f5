#pragma once

#include <QString>
#include <functional>

#include "devices/DeviceIo.h"

class QWidget;

namespace editors {

// What the editor panels need from the application shell: the message box and the file
// dialogs. The application installs its own (the skin's message box); tests install scripted
// answers. Without an installation, Qt's standard dialogs are used.
struct PanelServices {
    // Shows a message; `body` is a text id when `bodyIsId`, else ready text. `buttonMode` 0:
    // confirm only, 1: confirm and cancel. Returns 1 when confirmed, else 0.
    std::function<int(QWidget* parent, const QString& body, bool bodyIsId, int buttonMode)> message;
    // Asks for a file to open or to save; `filter` as QFileDialog takes it. Empty when cancelled.
    std::function<QString(QWidget* parent, const QString& filter)> openFile;
    std::function<QString(QWidget* parent, const QString& filter, const QString& suggestedName)> saveFile;
    // A notice with a tick box (`checkId`) that turns it off; `checked` in: the box's first
    // state, out: its state when the notice closed. Returns 1 when the user goes on, else 0.
    std::function<int(QWidget* parent, const QString& bodyId, const QString& checkId, bool& checked)> notice;
};

// The installed services (every member set).
PanelServices& Services();
// Replaces the members that `services` sets; unset members keep what they were.
void InstallServices(const PanelServices& services);

// What went wrong, in words ("it is not answering"): `failure` when the I/O worker knows it,
// else what result `code` means.
QString FailureInWords(int code, IoFailure failure = IoFailure::None);

// Tells the user that a write to the device failed with result `code`: -1 (without a known
// failure) as a lost connection, a positive code as that many macro events beyond the device's
// macro memory ("message_text_16"), any other as a failed write saying in words what went wrong.
// `deviceNameId` names the device (the text id of its name) when given.
void ShowWriteFailure(QWidget* parent, int code, IoFailure failure = IoFailure::None,
                      const QString& deviceNameId = {});

}  // namespace editors
