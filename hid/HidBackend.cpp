#include "hid/HidBackend.h"

namespace hid {

bool HidBackend::setDescriptor(const uint8_t* data, size_t length, uint32_t collectionIndex)
{
    if (!m_descriptor.parse(data, length) || collectionIndex == 0 ||
        collectionIndex > m_descriptor.collections().size())
        return false;
    m_collectionIndex = collectionIndex;
    return true;
}

}  // namespace hid
