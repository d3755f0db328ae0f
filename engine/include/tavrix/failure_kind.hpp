// What kind of failure stopped a run, for clients that act on it rather than show it: a file
// that wants a password, one that wants its owner's password to be changed, and one whose
// cross-reference data the repair option would rebuild. The value travels as the help context
// of the error object a failed getTavrixFile leaves (IErrorInfo::GetHelpContext), so clients
// never parse the reason's words.
#pragma once

#include <cstdint>

namespace tavrix {

enum class FailureKind : uint32_t {
    Other = 0,
    // Encrypted: no password was given, or the one given opens it neither as user nor as owner.
    PasswordNeeded = 1,
    // Opened with the user password, but changes need the owner's ("password=OWNER").
    OwnerPasswordNeeded = 2,
    // The cross-reference data cannot be used; "repair=1" rebuilds it.
    RepairNeeded = 3,
};

} // namespace tavrix
