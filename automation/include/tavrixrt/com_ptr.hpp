// Owning handles for clients: ComPtr holds one reference to an interface, Bstr owns one counted
// wide string. Header-only; they call nothing but Release and SysFreeString.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"

namespace tavrixrt {

template <class T> class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // For out-parameters: releases the current reference and hands out the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(p_, nullptr); }

    template <class U> HRESULT queryInterface(REFIID riid, ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(riid, out.putVoid());
    }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8) : s_(bstrFromUtf8(utf8)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(s_, other.s_);
        return *this;
    }
    ~Bstr() { SysFreeString(s_); }

    BSTR get() const { return s_; }
    BSTR* put() {
        SysFreeString(std::exchange(s_, nullptr));
        return &s_;
    }
    BSTR detach() { return std::exchange(s_, nullptr); }
    UINT length() const { return SysStringLen(s_); }
    std::string utf8() const { return utf8FromBstr(s_); }

  private:
    BSTR s_ = nullptr;
};

} // namespace tavrixrt
