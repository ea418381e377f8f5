#include "devices/OsConfLibrary.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <dlfcn.h>

bool OsConfLibrary::Load()
{
    if (m_handle)
        return true;
    QStringList candidates;
    const QString named = qEnvironmentVariable("TESSEL_OSCONFLIB");
    if (!named.isEmpty()) {
        candidates << named;
    } else {
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/SDK/libosConfLib.so");
        if (QFileInfo::exists(beside))
            candidates << beside;
        candidates << QStringLiteral("libosConfLib.so");
    }
    void* handle = nullptr;
    for (const QString& file : candidates) {
        handle = ::dlopen(file.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
        if (handle)
            break;
        m_error = QString::fromLocal8Bit(::dlerror());
    }
    if (!handle)
        return false;
    auto find = [handle](const char* name) { return ::dlsym(handle, name); };
    ConfLibInit = reinterpret_cast<InitFn>(find("ConfLibInit"));
    CreateDeviceList = reinterpret_cast<CreateListFn>(find("CreateDeviceList"));
    GetDeviceCount = reinterpret_cast<CountFn>(find("GetDeviceCount"));
    GetDeviceById = reinterpret_cast<ByIdFn>(find("GetDeviceById"));
    PropertyControl = reinterpret_cast<PropertyFn>(find("PropertyControl"));
    RegisterCallbackFunction = find("RegisterCallbackFunction");
    ConfLibUnInit = find("ConfLibUnInit");
    ShowAsioPanel = find("ShowAsioPanel");
    PlayTestSound = find("PlayTestSound");
    StopTestSound = find("StopTestSound");
    CloseTestSound = find("CloseTestSound");
    if (!ConfLibInit || !CreateDeviceList || !GetDeviceCount || !GetDeviceById || !PropertyControl) {
        // A library without the calls the headset makes is as good as none: never call into it.
        m_error = QStringLiteral("osConfLib lacks an entry point");
        ConfLibInit = nullptr;
        CreateDeviceList = nullptr;
        GetDeviceCount = nullptr;
        GetDeviceById = nullptr;
        PropertyControl = nullptr;
        ::dlclose(handle);
        return false;
    }
    // Never unloaded: nothing may call into freed code while the application runs.
    m_handle = handle;
    return true;
}
