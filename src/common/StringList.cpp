#include "common/StringList.h"

#include "common/Error.h"

namespace velastrom {

const std::string& TStringList::Get(long long index) const
{
    if (index < 0 || index >= static_cast<long long>(items_.size()))
        throw Error("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<std::size_t>(index)];
}

void TStringList::Put(long long index, const std::string& value)
{
    if (index < 0 || index >= static_cast<long long>(items_.size()))
        throw Error("List index out of bounds (" + std::to_string(index) + ")");
    items_[static_cast<std::size_t>(index)] = value;
}

long long TStringList::Add(const std::string& value)
{
    if (!compare_) {
        items_.push_back(value);
        return static_cast<long long>(items_.size()) - 1;
    }
    long long index = 0;
    if (Find(value, index))
        return -1;
    items_.insert(items_.begin() + index, value);
    return index;
}

bool TStringList::Find(const std::string& value, long long& index) const
{
    if (!compare_) {
        index = IndexOf(value);
        return index >= 0;
    }
    long long low = 0;
    long long high = static_cast<long long>(items_.size()) - 1;
    while (low <= high) {
        const long long mid = low + (high - low) / 2;
        const int c = compare_(items_[static_cast<std::size_t>(mid)], value);
        if (c < 0) {
            low = mid + 1;
        } else if (c > 0) {
            high = mid - 1;
        } else {
            index = mid;
            return true;
        }
    }
    index = low;
    return false;
}

long long TStringList::IndexOf(const std::string& value) const
{
    if (compare_) {
        long long index = 0;
        return Find(value, index) ? index : -1;
    }
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == value)
            return static_cast<long long>(i);
    return -1;
}

void TStringList::SetText(const std::string& text)
{
    items_.clear();
    const std::size_t end = text.find('\0');
    const std::size_t length = end == std::string::npos ? text.size() : end;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < length) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        items_.emplace_back(text, start, i - start);
        ++i;
        if (c == '\r' && i < length && text[i] == '\n')
            ++i;
        start = i;
    }
    if (start < length)
        items_.emplace_back(text, start, length - start);
}

std::string TStringList::Text() const
{
    std::size_t size = 0;
    for (const auto& line : items_)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& line : items_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::LoadFromStream(TMemoryStream& stream)
{
    SetText(stream.ReadToEnd());
}

void TStringList::SaveToStream(TMemoryStream& stream) const
{
    const std::string text = Text();
    stream.Write(text.data(), text.size());
}

}  // namespace velastrom
