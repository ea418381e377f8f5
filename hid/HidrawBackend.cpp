#include "hid/HidrawBackend.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "hid/DebugLog.h"
#include "hid/HidChannel.h"
#include "hid/HidrawEnumerator.h"
#include "hid/OsError.h"

namespace hid {

namespace {

bool hasToken(const std::string& name, const char* token)
{
    std::string lower(name);
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(token) != std::string::npos;
}

}  // namespace

std::unique_ptr<HidrawBackend> HidrawBackend::open(const std::string& path,
                                                   const std::string& sysfsRoot,
                                                   bool readAccess, bool writeAccess)
{
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (readAccess && writeAccess)
        flags |= O_RDWR;
    else if (writeAccess)
        flags |= O_WRONLY;
    else if (readAccess)
        flags |= O_RDONLY;
    else
        flags = O_PATH | O_CLOEXEC;
    const std::string node = HidrawEnumerator::devNode(path);
    const int fd = ::open(node.c_str(), flags);
    if (fd < 0) {
        qCDebug(tesselDebug, "%s", osErrorText(("open " + node).c_str(), errno).c_str());
        return nullptr;
    }
    std::unique_ptr<HidrawBackend> backend(new HidrawBackend(fd));
    const uint32_t number = collectionNumberFromPath(path);
    const uint32_t index = number == 0 ? 1 : number;

    HidrawEnumerator::Node facts;
    if (HidrawEnumerator::readNode(sysfsRoot, HidrawEnumerator::nodeName(path), facts)) {
        backend->m_attributes = facts.attributes;
        if (!backend->setDescriptor(facts.descriptor.data(), facts.descriptor.size(), index))
            return nullptr;
        if (hasToken(deviceNameOfPath(path), "&mi_") &&
            interfaceNumberFromPath(path) != facts.interfaceNumber) {
            qCDebug(tesselDebug, "%s is now interface %u", path.c_str(), facts.interfaceNumber);
            return nullptr;
        }
    } else if (!backend->descriptorFromNode(index)) {
        return nullptr;
    }
    // Node numbers are reused: after an unplug, the node of a stored path may belong to
    // another device. Opening it then would send commands to the wrong device.
    const uint32_t vendor = vendorIdFromPath(path);
    const uint32_t product = productIdFromPath(path);
    if ((vendor != 0 && vendor != backend->m_attributes.vendorId) ||
        (product != 0 && product != backend->m_attributes.productId)) {
        qCDebug(tesselDebug, "%s now belongs to %04x:%04x", path.c_str(),
                unsigned(backend->m_attributes.vendorId), unsigned(backend->m_attributes.productId));
        return nullptr;
    }
    return backend;
}

bool HidrawBackend::descriptorFromNode(uint32_t collectionIndex)
{
    hidraw_devinfo info{};
    int size = 0;
    if (::ioctl(m_fd, HIDIOCGRAWINFO, &info) < 0 || ::ioctl(m_fd, HIDIOCGRDESCSIZE, &size) < 0 ||
        size < 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
        qCDebug(tesselDebug, "%s", osErrorText("hidraw info", errno).c_str());
        return false;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = uint32_t(size);
    if (::ioctl(m_fd, HIDIOCGRDESC, &descriptor) < 0)
        return false;
    m_attributes.vendorId = uint16_t(info.vendor);
    m_attributes.productId = uint16_t(info.product);
    return setDescriptor(descriptor.value, descriptor.size, collectionIndex);
}

std::unique_ptr<HidrawBackend> HidrawBackend::adopt(int fd, const uint8_t* descriptor,
                                                    size_t length, uint32_t collectionIndex,
                                                    const HidAttributes& attributes)
{
    std::unique_ptr<HidrawBackend> backend(new HidrawBackend(fd));
    backend->m_attributes = attributes;
    if (!backend->setDescriptor(descriptor, length, collectionIndex))
        return nullptr;
    return backend;
}

HidrawBackend::~HidrawBackend()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

ssize_t HidrawBackend::readSome(uint8_t* buffer, uint32_t length)
{
    const bool ids = m_descriptor.usesReportIds();
    if (length < (ids ? 1u : 2u)) {
        errno = EINVAL;
        return -1;
    }
    // Without report IDs the kernel sends the data alone: read it behind a 0 ID byte.
    uint8_t* into = ids ? buffer : buffer + 1;
    const ssize_t n = ::read(m_fd, into, ids ? length : length - 1);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    if (n == 0) {
        errno = ENODEV;  // end of file: the node went away
        return -1;
    }
    if (!ids) {
        buffer[0] = 0;
        return n + 1;
    }
    return n;
}

ssize_t HidrawBackend::writeSome(const uint8_t* buffer, uint32_t length)
{
    const ssize_t n = ::write(m_fd, buffer, length);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    return n;
}

bool HidrawBackend::setOutputReport(const uint8_t* buffer, uint32_t length)
{
    if (length == 0)
        return false;
    if (::ioctl(m_fd, HIDIOCSOUTPUT(length), buffer) >= 0)
        return true;
    if (errno != ENOTTY && errno != EINVAL) {
        qCDebug(tesselDebug, "%s", osErrorText("HIDIOCSOUTPUT", errno).c_str());
        return false;
    }
    // Kernels before HIDIOCSOUTPUT: a write goes out on the control pipe when the interface
    // has no interrupt OUT endpoint, which is the case for the devices that need this.
    return ::write(m_fd, buffer, length) == ssize_t(length);
}

}  // namespace hid
