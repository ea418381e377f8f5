#pragma once

#include <QString>

#include "sdk/osConfLib.h"

// The audio chip's configuration library, loaded at run time by name. Loading is tried once;
// a library that is missing, or lacks one of the entry points the headset calls, leaves every
// pointer null and loaded() false. The library stays loaded until the process ends.
class OsConfLibrary {
public:
    using InitFn = int (*)();
    using CreateListFn = int (*)();
    using CountFn = int (*)(int, int*);
    using ByIdFn = int (*)(int, int, OsConfDevice*);
    using PropertyFn = int (*)(OsConfDevice, const char*, void**, void**, int);
    using UnusedFn = void (*)();

    // The library file: $TESSEL_OSCONFLIB, else "SDK/libosConfLib.so" beside the executable,
    // else "libosConfLib.so" on the library path.
    bool Load();
    bool loaded() const { return m_handle != nullptr; }
    const QString& error() const { return m_error; }

    InitFn ConfLibInit = nullptr;
    CreateListFn CreateDeviceList = nullptr;
    CountFn GetDeviceCount = nullptr;
    ByIdFn GetDeviceById = nullptr;
    PropertyFn PropertyControl = nullptr;
    // Looked up as the library offers them; nothing here calls them.
    void* RegisterCallbackFunction = nullptr;
    void* ConfLibUnInit = nullptr;
    void* ShowAsioPanel = nullptr;
    void* PlayTestSound = nullptr;
    void* StopTestSound = nullptr;
    void* CloseTestSound = nullptr;

private:
    void* m_handle = nullptr;
    QString m_error;
};
