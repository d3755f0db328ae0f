// The system's message text for status codes, and the message a client builds from it.
#include <cstdio>
#include <string>

#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"

namespace {

struct Message {
    HRESULT code;
    const char* text;
};

// The codes this runtime and its servers produce, with what a user can do about them.
constexpr Message kMessages[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "The operation completed; the answer is no."},
    {E_NOTIMPL, "Not implemented."},
    {E_NOINTERFACE, "No such interface supported."},
    {E_POINTER, "Invalid pointer."},
    {E_ABORT, "Operation aborted."},
    {E_FAIL, "Unspecified error."},
    {E_UNEXPECTED, "Unexpected failure."},
    {E_ACCESSDENIED, "Access is denied."},
    {E_OUTOFMEMORY, "Not enough memory is available to complete this operation."},
    {E_INVALIDARG, "One or more arguments are invalid."},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified."},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
     "The library named in the registry could not be found."},
    {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "The specified procedure could not be found."},
    {HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT),
     "The library named in the registry could not be loaded."},
    {RPC_E_CHANGED_MODE, "Cannot change the thread's apartment model after it has been set."},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_NONAMEDARGS, "No named arguments."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional."},
    {TYPE_E_ELEMENTNOTFOUND, "Element not found."},
    {CLASS_E_NOAGGREGATION, "The class does not support aggregation."},
    {CLASS_E_CLASSNOTAVAILABLE, "The library's class factory cannot supply the requested class."},
    {REGDB_E_READREGDB, "The registry file could not be read."},
    {REGDB_E_WRITEREGDB, "The registry file could not be written."},
    {REGDB_E_KEYMISSING, "A required key is missing from the registry."},
    {REGDB_E_CLASSNOTREG, "Class not registered."},
    {CO_E_NOTINITIALIZED, "The automation runtime has not been initialised on this thread."},
    {CO_E_CLASSSTRING, "Invalid class string."},
    {CO_E_ERRORINDLL, "The library does not export the entry points of an in-process server."},
};

const char* systemText(HRESULT hr) {
    for (const Message& m : kMessages)
        if (m.code == hr) return m.text;
    return nullptr;
}

BSTR allocate(const std::string& text) {
    try {
        return tavrixrt::bstrFromUtf8(text);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

BSTR FormatSystemMessage(HRESULT hr) {
    const char* text = systemText(hr);
    return text ? allocate(std::string(text) + "\r\n") : nullptr;
}

BSTR FormatErrorMessage(HRESULT hr) {
    if (const char* text = systemText(hr)) return allocate(text);
    const auto code = static_cast<uint32_t>(hr);
    char buffer[64];
    if (code > 0x80040200u && code <= 0x8004FFFFu)
        std::snprintf(buffer, sizeof buffer, "IDispatch error #%d",
                      static_cast<int>(code - 0x80040200u));
    else
        std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX",
                      static_cast<unsigned long>(code));
    return allocate(buffer);
}
