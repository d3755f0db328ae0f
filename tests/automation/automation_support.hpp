// Shared pieces of the automation tests: a private registry file, apartments, and a minimal PDF
// to stamp.
#pragma once

#include <string>

#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "tavrixrt/runtime.hpp"

namespace tavrix_test {

using testpdf::fileExists;
using testpdf::readFile;
using testpdf::TempDir;
using testpdf::writeFile;

// Points the runtime at registry files of its own (the user's and the system's) for the object's
// lifetime.
class PrivateRegistry {
  public:
    PrivateRegistry();
    ~PrivateRegistry();
    const std::string& path() const { return path_; }
    // The system-wide file the runtime reads beneath the user's (absent until written).
    std::string systemPath() const { return dir_.file("system-registry"); }

  private:
    TempDir dir_;
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// One apartment on the current thread.
class Apartment {
  public:
    explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED)
        : hr_(CoInitializeEx(nullptr, model)) {}
    ~Apartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT status() const { return hr_; }

  private:
    HRESULT hr_;
};

// A valid PDF with `pages` empty Letter pages.
inline void writeMinimalPdf(const std::string& path, int pages) {
    writeFile(path, testpdf::emptyPages(pages));
}

// VARIANTs of a LONG and of a string (which stays the caller's).
inline VARIANT longValue(LONG v) {
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_I4;
    var.lVal = v;
    return var;
}
inline VARIANT textValue(BSTR text) {
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_BSTR;
    var.bstrVal = text;
    return var;
}

// Text of a status code for failure messages, e.g. "0x80040154".
std::string hex(HRESULT hr);

} // namespace tavrix_test
