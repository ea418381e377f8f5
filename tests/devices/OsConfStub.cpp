// A stand-in for the audio chip's library whose initialisation fails and which lists no device:
// the headset must report the failure and go on.
#include "sdk/osConfLib.h"

extern "C" {
OSCONF_API int ConfLibInit(void) { return 1; }
OSCONF_API int CreateDeviceList(void) { return OSCONF_ERR_NOT_INITIALISED; }
OSCONF_API int GetDeviceCount(int, int* count)
{
    if (count)
        *count = 0;
    return OSCONF_ERR_NOT_INITIALISED;
}
OSCONF_API int GetDeviceById(int, int, OsConfDevice*) { return OSCONF_ERR_NOT_INITIALISED; }
OSCONF_API int PropertyControl(OsConfDevice, const char*, void**, void**, int) { return OSCONF_ERR_NOT_INITIALISED; }
}
