#pragma once

#include <string>

namespace hid {

// The one place errno becomes text: "<what>: <strerror> (errno N)" for the debug log.
std::string osErrorText(const char* what, int error);

}  // namespace hid
