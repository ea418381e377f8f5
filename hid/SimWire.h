#pragma once

// The wire format between HidChannel's simulator backend and tessel-devsim. The simulator is
// firmware at a USB interface and this is that interface; besides it the simulator shares only
// the command report framing (CommandFrame.h) and the factory key tables (keytables/).
//
// Folder ($TESSEL_SIM_DIR):
//   control                      the simulator's control socket (SOCK_STREAM, JSON lines)
//   hid#vid_3a17&pid_5055&mi_01&col04
//                                one SOCK_SEQPACKET socket per virtual top-level collection,
//                                named like a Windows device path; "&colNN" appears only when
//                                the interface has more than one top-level collection. The file
//                                exists while the interface is plugged; unplugging removes it
//                                and closes every connection to it.
//
// Handshake: as soon as a client connects, the simulator sends one message: a SimHello followed
// by the interface's whole report descriptor (descriptorLength bytes). The channel parses the
// descriptor with the same parser as hidraw and selects top-level collection
// `collectionIndex` (1-based; 1 when the interface has a single collection).
//
// The channel waits up to 2 s for the hello (SimBackend::kHelloTimeoutMs) and refuses the
// interface (open() returns false) when the magic, the version, the length (the message must be
// exactly 16 + descriptorLength bytes) or the descriptor is wrong, or when the descriptor has
// no collection `collectionIndex`. Vendor, product and version become the channel's
// attributes; interface and collection numbers come from the socket's name, as for hidraw.
// The simulator may parse its own descriptors with hid/ReportDescriptor.h: it is in
// tessel_hidparse, which needs neither Qt nor udev.
//
// After the hello every message is one report: a SimMessageKind byte followed by the report,
// whose first byte is the report ID (0 when the descriptor declares none), exactly as a caller
// of HidChannel sees it. The simulator sends a collection only the input reports whose IDs
// belong to that collection (the channel also drops any other, as it does on hidraw). Messages
// of another kind, or with no report after the kind byte, are ignored. The channel closing its
// connection is the only "close"; the simulator closing it (unplug) fails the channel's
// waiting and later reads and writes.

#include <cstdint>

namespace hid::simwire {

inline constexpr char kSocketPrefix[] = "hid#";
inline constexpr char kControlSocketName[] = "control";
inline constexpr char kEnvSimDir[] = "TESSEL_SIM_DIR";
inline constexpr uint16_t kProtocolVersion = 1;
// Largest message either side sends: kind byte + report ID + 4 KiB of report.
inline constexpr uint32_t kMaxMessage = 1 + 4096 + 1;

enum SimMessageKind : uint8_t {
    kInputReport = 'I',      // simulator -> Tessel: an input report (interrupt IN)
    kOutputReport = 'O',     // Tessel -> simulator: an output report (interrupt OUT, write())
    kSetOutputReport = 'S',  // Tessel -> simulator: an output report through the control pipe
};

#pragma pack(push, 1)
struct SimHello {
    char magic[4];             // "TSIM"
    uint16_t protocolVersion;  // kProtocolVersion
    uint16_t vendorId;
    uint16_t productId;
    uint16_t versionNumber;
    uint8_t interfaceNumber;
    uint8_t collectionIndex;    // 1-based top-level collection of this socket
    uint16_t descriptorLength;  // report descriptor bytes that follow
};
#pragma pack(pop)
static_assert(sizeof(SimHello) == 16, "hello header is 16 bytes on the wire");

}  // namespace hid::simwire
