// What the fuzz targets share: a check that stops the run with a message
// (an invariant broken is a finding, as a crash is), and a reader that takes
// small numbers and strings off the front of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition);        \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

namespace velastrom::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size)
    {
    }

    bool Empty() const { return bytes_.empty(); }
    std::uint8_t Byte()
    {
        if (bytes_.empty())
            return 0;
        const auto b = static_cast<std::uint8_t>(bytes_.front());
        bytes_.remove_prefix(1);
        return b;
    }
    // Up to max bytes, ended early by a NUL byte (consumed).
    std::string Text(std::size_t max)
    {
        std::string out;
        while (!bytes_.empty() && out.size() < max) {
            const char c = bytes_.front();
            bytes_.remove_prefix(1);
            if (c == '\0')
                break;
            out.push_back(c);
        }
        return out;
    }
    std::string_view Rest() const { return bytes_; }

private:
    std::string_view bytes_;
};

}  // namespace velastrom::fuzz
