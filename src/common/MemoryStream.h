// An in-memory byte stream with a size and a current position.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velastrom {

class TMemoryStream {
public:
    std::size_t Size() const { return bytes_.size(); }
    std::size_t Position() const { return position_; }

    // Puts the position anywhere from 0 to past the end; a later write past the
    // end fills the gap with zero bytes.
    void Seek(std::size_t position) { position_ = position; }

    // Writes at the position and moves the position past the bytes; grows the
    // stream when the write passes its end, never shrinks it.
    void Write(const void* data, std::size_t count);

    // Reads up to count bytes from the position onwards; returns how many.
    std::size_t Read(void* buffer, std::size_t count);

    // Size and position 0; the memory is released.
    void Clear();

    // Cuts or extends the stream to size bytes; the position stays unless it
    // would lie past the new end.
    void SetSize(std::size_t size);

    // The bytes from the position to the end, the position moved to the end.
    std::string ReadToEnd();

    const std::vector<char>& Bytes() const { return bytes_; }

private:
    std::vector<char> bytes_;
    std::size_t position_ = 0;
};

}  // namespace velastrom
