// The plain-words reason of a failed run: what went wrong, with which file, and what to do.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "tavrix/failure_kind.hpp"

namespace tavrix {

// "'name'" as reasons quote file names.
std::string quotedPath(std::string_view path);

// The reason for the failure `error` (thrown while stamping `input` into `output`): the raiser's
// own reason when it gave one, else one derived from the fixed message. The input mark is
// replaced by the quoted input name.
std::string failureReason(const std::exception_ptr& error, std::string_view input,
                          std::string_view output);
// Whether another try with a password or with repair could mend the failure `error`.
FailureKind failureKind(const std::exception_ptr& error);

} // namespace tavrix
