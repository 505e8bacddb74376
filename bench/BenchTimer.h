#pragma once
// Wall-clock seconds one call takes.
#include <chrono>

template <typename F>
double seconds(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
