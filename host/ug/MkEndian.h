#pragma once
#include <cstddef>

bool MkIsBigEndian();
// Reverses the bytes of each of `count` items of `itemSize` bytes, in place.
void MkByteSwap(void* data, int itemSize, int count);
