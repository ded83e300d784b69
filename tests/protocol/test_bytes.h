// Small helpers shared by the protocol tests.
#pragma once

#include <initializer_list>
#include <string>

namespace tally::test {

// A byte string from values 0-255, for RTU frames and replies.
inline std::string ByteString(std::initializer_list<int> values) {
    std::string bytes;
    for (const int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

}  // namespace tally::test
