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

using LongSetter = HRESULT (ITavrixCom::*)(LONG);
using TextSetter = HRESULT (ITavrixCom::*)(BSTR);

// The interface's put members by dispatch identifier, called through their slots.
LongSetter longSetter(int32_t dispid) {
    switch (dispid) {
    case 6:
        return &ITavrixCom::put_startPage;
    case 7:
        return &ITavrixCom::put_endPage;
    case 8:
        return &ITavrixCom::put_startNumber;
    case 9:
        return &ITavrixCom::put_endNumber;
    case 10:
        return &ITavrixCom::put_mask;
    case 11:
        return &ITavrixCom::put_nth;
    case 12:
        return &ITavrixCom::put_seq;
    case 13:
        return &ITavrixCom::put_reverse;
    case 14:
        return &ITavrixCom::put_onePageNo;
    case 15:
        return &ITavrixCom::put_up2;
    case 16:
        return &ITavrixCom::put_ab2;
    case 17:
        return &ITavrixCom::put_rom;
    case 18:
        return &ITavrixCom::put_romUpper;
    case 21:
        return &ITavrixCom::put_nopg;
    case 27:
        return &ITavrixCom::put_color;
    case 28:
        return &ITavrixCom::put_fontSize;
    case 29:
        return &ITavrixCom::put_fontAngle;
    case 30:
        return &ITavrixCom::put_noforce;
    case 31:
        return &ITavrixCom::put_posh;
    case 32:
        return &ITavrixCom::put_posv;
    case 33:
        return &ITavrixCom::put_flipv;
    case 34:
        return &ITavrixCom::put_fliph;
    case 37:
        return &ITavrixCom::put_opacity;
    case 38:
        return &ITavrixCom::put_CMYKcolor;
    default:
        return nullptr;
    }
}

TextSetter textSetter(int32_t dispid) {
    switch (dispid) {
    case 19:
        return &ITavrixCom::put_importit;
    case 20:
        return &ITavrixCom::put_exportit;
    case 22:
        return &ITavrixCom::put_prefix;
    case 23:
        return &ITavrixCom::put_sep;
    case 24:
        return &ITavrixCom::put_end;
    case 25:
        return &ITavrixCom::put_font;
    case 26:
        return &ITavrixCom::put_fontfile;
    case 35:
        return &ITavrixCom::put_align;
    case 36:
        return &ITavrixCom::put_renameoutput;
    default:
        return nullptr;
    }
}

class AutomationEngine : public EngineInstance {
  public:
    explicit AutomationEngine(ComPtr<ITavrixCom> engine) : engine_(std::move(engine)) {}

    HResult putLong(int32_t dispid, int32_t value) override {
        const LongSetter put = longSetter(dispid);
        if (!put) return DISP_E_MEMBERNOTFOUND;
        return (engine_.get()->*put)(value);
    }

    HResult putText(int32_t dispid, const std::string& value) override {
        const TextSetter put = textSetter(dispid);
        if (!put) return DISP_E_MEMBERNOTFOUND;
        Bstr text(value);
        if (!text.get()) return E_OUTOFMEMORY;
        return (engine_.get()->*put)(text.get());
    }

    HResult getTavrixFile(const std::string& input, const std::string& output,
                          const std::string& params, std::string& result) override {
        Bstr in(input), out(output), extra(params);
        if (!in.get() || !out.get() || !extra.get()) return E_OUTOFMEMORY;
        Bstr answer;
        const HRESULT hr = engine_->getTavrixFile(in.get(), out.get(), extra.get(), answer.put());
        result = answer.utf8(); // a null answer is the empty text
        return hr;
    }

  private:
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

std::optional<std::string> AutomationRuntime::systemMessage(HResult hr) {
    Bstr text;
    *text.put() = FormatSystemMessage(hr);
    if (!text.get()) return std::nullopt;
    return text.utf8();
}

} // namespace folvane
