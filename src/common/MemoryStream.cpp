#include "common/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace velastrom {

void TMemoryStream::Write(const void* data, std::size_t count)
{
    if (count == 0)
        return;
    const std::size_t end = position_ + count;
    if (end > bytes_.size())
        bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, data, count);
    position_ = end;
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (position_ >= bytes_.size())
        return 0;
    const std::size_t n = std::min(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return n;
}

void TMemoryStream::Clear()
{
    std::vector<char>().swap(bytes_);
    position_ = 0;
}

void TMemoryStream::SetSize(std::size_t size)
{
    bytes_.resize(size);
    position_ = std::min(position_, size);
}

std::string TMemoryStream::ReadToEnd()
{
    std::string text;
    if (position_ < bytes_.size())
        text.assign(bytes_.data() + position_, bytes_.size() - position_);
    position_ = std::max(position_, bytes_.size());
    return text;
}

}  // namespace velastrom
