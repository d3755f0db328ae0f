// TavrixCom: the engine's public face. Put-only properties fill the instance's StampSettings;
// getTavrixFile stamps one PDF file or every file of a ".txt" list and returns the result text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tavrix/failure_kind.hpp"
#include "tavrix/stamp_settings.hpp"

namespace tavrix {

class TavrixCom {
  public:
    TavrixCom() = default;

    // Long and flag properties (flags store value != 0), by dispatch identifier 6..38.
    // Answers false only for an identifier that is not a long or flag property.
    bool putLong(int32_t dispid, int32_t value);
    // Text properties by dispatch identifier; `utf8` is converted as the property requires
    // (prefix, sep and end kept as given beside their Windows-1252 form, everything else kept
    // as UTF-8).
    bool putText(int32_t dispid, std::string_view utf8);

    // Stamps `input` into `output` (or runs a file list) and returns the result text: empty on
    // success, else the failure message. Never throws.
    std::string getTavrixFile(const std::string& input, const std::string& output,
                              const std::string& params);

    // Why the jobs of the last getTavrixFile call failed, one line per failed file; empty when
    // every job succeeded.
    std::string failureDescription() const;
    // What kind of failure the last failed job of that call had (Other when none failed).
    FailureKind failureKind() const { return kind_; }

    const StampSettings& settings() const { return settings_; }

  private:
    StampSettings settings_;
    std::vector<std::string> reasons_;
    FailureKind kind_ = FailureKind::Other;
};

} // namespace tavrix
