// The engine's one exception type: every fatal condition of a run carries a fixed English message
// (what callers compare) and, where the raiser knows it, the cause in plain words for the user.
#pragma once

#include <string>
#include <string_view>

#include "tavrix/failure_kind.hpp"

namespace tavrix {

// A reason about the input file names it with this mark; the run puts the file's quoted name in
// its place ("{input}: cross-reference table damaged at byte 10234").
inline constexpr std::string_view kInputMark = "{input}";
// Likewise for the output file.
inline constexpr std::string_view kOutputMark = "{output}";

class CPdfException {
  public:
    explicit CPdfException(const char* message) : message_(message ? message : "") {}
    explicit CPdfException(std::string message) : message_(std::move(message)) {}
    CPdfException(std::string message, std::string reason, FailureKind kind = FailureKind::Other)
        : message_(std::move(message)), reason_(std::move(reason)), kind_(kind) {}
    virtual ~CPdfException() = default;

    virtual const char* getMessage() const { return message_.c_str(); }
    // What went wrong and, where it helps, what to do; empty when the message says all there is.
    const std::string& reason() const { return reason_; }
    // Whether another try with a password or with repair could succeed.
    FailureKind kind() const { return kind_; }

  private:
    std::string message_;
    std::string reason_;
    FailureKind kind_ = FailureKind::Other;
};

} // namespace tavrix
