#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace hid {

// What one appearance of an interface is: the file behind its path (the hidraw node, or the
// simulator's socket) as the file system names it. A node or socket that goes and comes back
// under the same path (the kernel hands out the lowest free hidraw number again; the simulator
// binds the same name) is a new file, so comparing identities tells a re-plugged device from
// one that never left, however quickly the path reappeared. A hidraw node is told by its
// inode (devtmpfs never hands one out twice soon); a socket on an ordinary file system may get
// the inode number just freed, so its change time (set when it is bound) is compared too.
struct NodeIdentity {
    dev_t device = 0;  // the file system holding the node
    ino_t inode = 0;
    dev_t rdev = 0;  // the device number of a character node; 0 for a socket
    int64_t changedNs = 0;  // a socket's change time; 0 for a hidraw node (udev's ACLs move it)

    bool valid() const { return inode != 0; }
    bool operator==(const NodeIdentity&) const = default;
};

// The identity of the node behind `path` now (a hidraw path's "#..." tokens are left out);
// invalid when nothing is there.
NodeIdentity nodeIdentityOf(const std::string& path);

// Whether errno after a failed read or write says the interface itself is gone (unplugged,
// its connection closed), as opposed to a time-out or an abort of our own.
bool isGoneError(int error);

// Channels report here that their interface ended under them; discovery takes the report on its
// next pass and treats the interface as lost, so a dead channel is closed and opened afresh even
// when the path never disappeared long enough to be seen missing. Reports name the identity the
// channel opened, so one from an earlier appearance never ends a newer one. Thread-safe.
void reportInterfaceGone(const std::string& path, const NodeIdentity& identity);
// True (and the report is taken) when a channel reported `path` with this identity gone.
bool takeInterfaceGone(const std::string& path, const NodeIdentity& identity);
// Whether a channel has reported `path` gone (the report is left for takeInterfaceGone).
bool interfaceGoneReported(const std::string& path);
// Forgets any report about `path` (a new appearance is being registered).
void forgetInterfaceGone(const std::string& path);

}  // namespace hid
