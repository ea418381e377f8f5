// Bytes from a Wayland compositor as the toplevel-list client reads them: the first byte picks
// the size of the pieces they arrive in; the requests it answers with are taken and dropped.
#include "app/WlrFocusSource.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t piece = size_t(data[0] % 32) + 1;
    ++data, --size;
    app::WlrToplevelProtocol protocol;
    int activations = 0;
    protocol.onActivated = [&](const app::FocusedApp&) { ++activations; };
    protocol.Begin();
    for (size_t i = 0; i < size; i += piece) {
        const size_t n = size - i < piece ? size - i : piece;
        if (!protocol.Feed(QByteArray(reinterpret_cast<const char*>(data + i), qsizetype(n))))
            break;
        protocol.TakeOutgoing();
    }
    (void)protocol.Toplevels();
    return activations >= 0 ? 0 : 1;
}
