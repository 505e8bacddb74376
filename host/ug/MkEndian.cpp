#include "host/ug/MkEndian.h"
#include <algorithm>
#include <cstdint>
#include <cstring>

bool MkIsBigEndian() {
    const uint16_t probe = 0x0102;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 0x01;
}

void MkByteSwap(void* data, int itemSize, int count) {
    if (!data || itemSize < 2 || count <= 0) return;
    unsigned char* p = static_cast<unsigned char*>(data);
    for (int i = 0; i < count; ++i, p += itemSize) std::reverse(p, p + itemSize);
}
