// A list of single-byte strings, indexed from 0: plain, or sorted under a
// comparison of the caller's with duplicates ignored.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "common/MemoryStream.h"

namespace velastrom {

class TStringList {
public:
    // Negative, zero or positive, as strcmp.
    using Compare = std::function<int(const std::string&, const std::string&)>;

    // A plain list: Add appends, duplicates stay.
    TStringList() = default;
    // A sorted list: Add inserts at the sorted place found by binary search
    // and ignores a string that compares equal to one already present.
    explicit TStringList(Compare compare) : compare_(std::move(compare)) {}

    bool Sorted() const { return static_cast<bool>(compare_); }
    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }

    // Fails with "List index out of bounds (%d)" outside 0 .. Count-1.
    const std::string& Get(long long index) const;
    void Put(long long index, const std::string& value);

    // Returns the index of the string, or -1 when a sorted list ignored it.
    long long Add(const std::string& value);
    void Clear() { items_.clear(); }

    // Sorted lists: binary search; index gets the match or the insertion point.
    // Plain lists: exact comparison, first match.
    bool Find(const std::string& value, long long& index) const;
    long long IndexOf(const std::string& value) const;

    // Replaces the contents with the lines of text: a line ends at CR LF, a
    // lone CR or a lone LF; the text ends at its first NUL; a break at the very
    // end makes no empty last line.
    void SetText(const std::string& text);
    // Every line followed by CR LF.
    std::string Text() const;

    // SetText of every byte from the stream's position to its end.
    void LoadFromStream(TMemoryStream& stream);
    // Text() written at the stream's position as one block.
    void SaveToStream(TMemoryStream& stream) const;

    const std::vector<std::string>& Items() const { return items_; }

private:
    std::vector<std::string> items_;
    Compare compare_;
};

}  // namespace velastrom
