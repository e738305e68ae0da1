#pragma once
// Shared by the parse-function fuzz targets: anything a parser hands back must be a complete, usable result.

#include "model/WeiboParser.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace plumetfuzz {

inline std::string textOf(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A parser that returned something it should have dropped is as much a finding as a crash.
inline void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

template <class T>
void requireAllValid(const std::vector<boost::shared_ptr<T>>& records) {
    for (const auto& record : records)
        require(record && record->isValid());
}

}  // namespace plumetfuzz
