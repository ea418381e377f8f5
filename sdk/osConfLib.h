#pragma once

// osConfLib: the headset audio chip's configuration library, loaded at run time by name.
// Every function returns 0 on success and a negative OSCONF_ERR_* code on failure; no function
// aborts or throws, whatever the arguments. Calls may come from any thread (they are serialised).
//
// Devices are listed by kind (0 playback, 1 capture) after CreateDeviceList. A property is read
// (mode 0) into the first value buffer as decimal text, or written (mode 1) from the binary value
// at the start of the first value buffer: a 32-bit float for "VolumeScalarControl" and
// "AAVolumeScalarControl" (a fraction 0..1), a 32-bit integer for every other property. The second
// buffer, where a property uses one, holds the channel (-1 all channels, 0 the side tone) or, for
// "VirtualSurroundEffectControl", three 32-bit values. Value buffers are OSCONF_VALUE_BUFFER_SIZE
// bytes; both buffer arguments are the address of a variable holding the buffer's address.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OSCONF_VALUE_BUFFER_SIZE 1024
#define OSCONF_API __attribute__((visibility("default")))

enum {
    OSCONF_OK = 0,
    OSCONF_ERR_NOT_INITIALISED = -1,  // ConfLibInit or CreateDeviceList was not called
    OSCONF_ERR_ARGUMENT = -2,         // a null pointer, an index out of range, a bad mode
    OSCONF_ERR_NO_DEVICE = -3,        // the device record names no present device
    OSCONF_ERR_PROPERTY = -4,         // the device has no property of that name
    OSCONF_ERR_READ_ONLY = -5,        // the property cannot be written
    OSCONF_ERR_VALUE = -6,            // the value is outside the property's range
    OSCONF_ERR_IO = -7,               // the sound card or the chip did not take the request
    OSCONF_ERR_UNSUPPORTED = -8,      // an entry point this library does not implement
};

// 16 bytes: identifier, device type (1 headset playback, 2 headset capture), unused, flag
// (1 when the device is the headset's own).
typedef struct OsConfDevice {
    uint32_t id;
    uint32_t type;
    uint32_t reserved;
    uint32_t flag;
} OsConfDevice;

typedef void (*OsConfCallback)(int event, void* context);

OSCONF_API int ConfLibInit(void);
OSCONF_API int ConfLibUnInit(void);
OSCONF_API int CreateDeviceList(void);
OSCONF_API int GetDeviceCount(int kind, int* count);
OSCONF_API int GetDeviceById(int kind, int index, OsConfDevice* record);
OSCONF_API int PropertyControl(OsConfDevice device, const char* name, void** value, void** second, int mode);
OSCONF_API int RegisterCallbackFunction(OsConfCallback callback, void* context);
OSCONF_API int ShowAsioPanel(void);
OSCONF_API int PlayTestSound(OsConfDevice device);
OSCONF_API int StopTestSound(OsConfDevice device);
OSCONF_API int CloseTestSound(OsConfDevice device);

#ifdef __cplusplus
}
#endif
