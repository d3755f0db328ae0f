// The engine's one exception type: every fatal condition of a run carries a fixed English message.
#pragma once

#include <string>

namespace tavrix {

class CPdfException {
  public:
    explicit CPdfException(const char* message) : message_(message ? message : "") {}
    explicit CPdfException(std::string message) : message_(std::move(message)) {}
    virtual ~CPdfException() = default;

    virtual const char* getMessage() const { return message_.c_str(); }

  private:
    std::string message_;
};

} // namespace tavrix
