#include "desktop/model/automation_runtime.hpp"

#include <new>

#include "tavrix/tavrix_com_interface.hpp"
#include "tavrixrt/com_ptr.hpp"
#include "tavrixrt/runtime.hpp"

namespace folvane {
namespace {

using tavrix::ITavrixCom;
using tavrixrt::Bstr;
using tavrixrt::ComPtr;

// The engine's own words for the failure of the last call on this thread, and its kind (the
// error object's help context), when it keeps them.
void lastFailure(ITavrixCom* engine, CallAnswer& answer) {
    ComPtr<ISupportErrorInfo> support;
    if (FAILED(engine->QueryInterface(IID_ISupportErrorInfo, support.putVoid())) ||
        support->InterfaceSupportsErrorInfo(tavrix::IID_ITavrixCom) != S_OK)
        return;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return;
    Bstr description;
    if (SUCCEEDED(info->GetDescription(description.put()))) answer.reason = description.utf8();
    DWORD context = 0;
    if (SUCCEEDED(info->GetHelpContext(&context)) &&
        context <= static_cast<DWORD>(tavrix::FailureKind::RepairNeeded))
        answer.kind = static_cast<tavrix::FailureKind>(context);
}

class AutomationEngine : public EngineInstance {
  public:
    explicit AutomationEngine(ComPtr<ITavrixCom> engine) : engine_(std::move(engine)) {}

    // Properties are put through IDispatch by their dispatch identifiers, which come from the
    // engine's member table: the client keeps no list of its own.
    HResult putLong(int32_t dispid, int32_t value) override {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value;
        return put(dispid, v);
    }

    HResult putText(int32_t dispid, const std::string& value) override {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = tavrixrt::bstrFromUtf8(value);
        if (!v.bstrVal) return E_OUTOFMEMORY;
        const HResult hr = put(dispid, v);
        VariantClear(&v);
        return hr;
    }

    HResult getTavrixFile(const std::string& input, const std::string& output,
                          const std::string& params, CallAnswer& answer) override {
        Bstr in(input), out(output), extra(params);
        if (!in.get() || !out.get() || !extra.get()) return E_OUTOFMEMORY;
        Bstr text;
        const HRESULT hr = engine_->getTavrixFile(in.get(), out.get(), extra.get(), text.put());
        answer.result = text.utf8(); // a null answer is the empty text
        lastFailure(engine_.get(), answer);
        return hr;
    }

  private:
    HResult put(int32_t dispid, VARIANT& value) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        return engine_->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                               nullptr);
    }

    ComPtr<ITavrixCom> engine_;
};

} // namespace

HResult AutomationRuntime::initialize() {
    return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

void AutomationRuntime::uninitialize() {
    CoUninitialize();
}

HResult AutomationRuntime::createEngine(std::unique_ptr<EngineInstance>& engine) {
    ComPtr<IUnknown> object;
    HRESULT hr =
        CoCreateInstance(tavrix::CLSID_TavrixCom, nullptr,
                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                         IID_IUnknown, object.putVoid());
    if (FAILED(hr)) return hr;
    hr = OleRun(object.get());
    if (FAILED(hr)) return hr;
    ComPtr<ITavrixCom> tavrixCom;
    hr = object.queryInterface(tavrix::IID_ITavrixCom, tavrixCom);
    if (FAILED(hr)) return hr;
    try {
        engine = std::make_unique<AutomationEngine>(std::move(tavrixCom));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::string AutomationRuntime::errorMessage(HResult hr) {
    Bstr text;
    *text.put() = FormatErrorMessage(hr);
    return text.utf8();
}

} // namespace folvane
