// Damage the reader tolerated while reading a file: a Prev chain cut, a Length measured to its
// keyword, a dictionary key dropped, compressed data that ends early... Nothing is shown by
// default; the list is kept so that tests can assert it and a verbose run can print it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrix {

struct Diagnostic {
    int32_t object = -1; // the object it concerns, or -1
    int64_t offset = -1; // where in the file, or -1
    std::string message;
};

class Diagnostics {
  public:
    // A damaged file can produce one note per object; past this many only a count is kept.
    static constexpr size_t kMaxKept = 200;

    void add(int32_t object, int64_t offset, std::string message) {
        if (items_.size() < kMaxKept)
            items_.push_back({object, offset, std::move(message)});
        else
            ++dropped_;
    }
    const std::vector<Diagnostic>& items() const { return items_; }
    size_t dropped() const { return dropped_; }
    bool empty() const { return items_.empty(); }

    // One line per note: "object 12 at byte 3456: message".
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const Diagnostic& d : items_) {
            std::string where;
            if (d.object >= 0) where = "object " + std::to_string(d.object);
            if (d.offset >= 0)
                where += (where.empty() ? "byte " : " at byte ") + std::to_string(d.offset);
            out.push_back(where.empty() ? d.message : where + ": " + d.message);
        }
        if (dropped_ > 0) out.push_back(std::to_string(dropped_) + " more notes left out");
        return out;
    }

  private:
    std::vector<Diagnostic> items_;
    size_t dropped_ = 0;
};

} // namespace tavrix
