#pragma once

// Result codes of every device operation. Callers compare with kOk; the failure codes only say
// where the failure was seen.
namespace protocol {

inline constexpr int kOk = 1;
// The transport is not ready, or no reply (with the command's echo) was read in time.
inline constexpr int kNoReply = 0;
// The request could not be written within the time-out.
inline constexpr int kWriteFailed = -1;
// Wireless mode: the receiver answered 0xAA because it cannot reach the device.
inline constexpr int kNoLink = -101;
// The device answered with status 0xFF or 0xFE.
inline constexpr int kStatusFF = -102;
inline constexpr int kStatusFE = -103;
// Key-table bank other than 0.
inline constexpr int kBadBank = -201;

// writeMacros only, whose 0 means "written" and whose positive values count the events that do
// not fit: no memory could be had to build the macro image.
inline constexpr int kMacroNoMemory = -1;
// writeMacros only: the image was built but the device did not take it (the session could not
// be opened, a chunk's write or reply failed, or the device refused it). Apart from
// kMacroNoMemory so that a caller does not report a transfer failure as a lack of memory.
inline constexpr int kMacroTransferFailed = -301;

}  // namespace protocol
