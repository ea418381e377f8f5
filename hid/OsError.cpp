#include "hid/OsError.h"

#include <cstring>

namespace hid {

std::string osErrorText(const char* what, int error)
{
    char buffer[128];
    // The GNU strerror_r returns the text, which may or may not be in `buffer`.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return std::string(what) + ": " + text + " (errno " + std::to_string(error) + ")";
}

}  // namespace hid
