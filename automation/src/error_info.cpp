// The rich error channel: one error object per thread that a server leaves behind when a call
// fails, for the client to read with GetErrorInfo. The object describes the failure in words the
// user can act on; the call's own status or result text stays what callers compare.
#include <atomic>
#include <new>
#include <string>
#include <utility>

#include "tavrixrt/runtime.hpp"

namespace {

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    // IErrorInfo
    HRESULT GetGUID(GUID* guid) override {
        if (!guid) return E_INVALIDARG;
        *guid = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* out) override { return copyOut(source_, out); }
    HRESULT GetDescription(BSTR* out) override { return copyOut(description_, out); }
    HRESULT GetHelpFile(BSTR* out) override { return copyOut(helpFile_, out); }
    HRESULT GetHelpContext(DWORD* out) override {
        if (!out) return E_INVALIDARG;
        *out = helpContext_;
        return S_OK;
    }

    // ICreateErrorInfo
    HRESULT SetGUID(REFGUID guid) override {
        guid_ = guid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR text) override { return copyIn(text, source_); }
    HRESULT SetDescription(LPOLESTR text) override { return copyIn(text, description_); }
    HRESULT SetHelpFile(LPOLESTR text) override { return copyIn(text, helpFile_); }
    HRESULT SetHelpContext(DWORD context) override {
        helpContext_ = context;
        return S_OK;
    }

  private:
    ~ErrorObject() = default;

    static HRESULT copyOut(const std::u16string& text, BSTR* out) {
        if (!out) return E_INVALIDARG;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT copyIn(LPCOLESTR text, std::u16string& into) {
        try {
            into = text ? std::u16string(text) : std::u16string();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    std::u16string source_;
    std::u16string description_;
    std::u16string helpFile_;
    DWORD helpContext_ = 0;
};

// The thread's error object; released when it is replaced, taken, or the thread ends.
class ThreadSlot {
  public:
    ~ThreadSlot() { put(nullptr); }
    void put(IErrorInfo* info) {
        if (info) info->AddRef();
        if (IErrorInfo* old = std::exchange(info_, info)) old->Release();
    }
    IErrorInfo* take() { return std::exchange(info_, nullptr); }

  private:
    IErrorInfo* info_ = nullptr;
};

thread_local ThreadSlot tErrorInfo;

} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    auto* object = new (std::nothrow) ErrorObject;
    if (!object) return E_OUTOFMEMORY;
    *info = object; // the creation reference
    return S_OK;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
    if (reserved != 0) return E_INVALIDARG;
    tErrorInfo.put(info);
    return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (reserved != 0) return E_INVALIDARG;
    *info = tErrorInfo.take();
    return *info ? S_OK : S_FALSE;
}
