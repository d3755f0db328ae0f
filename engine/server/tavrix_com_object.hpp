// The automation object around TavrixCom: ITavrixCom's slots and IDispatch for one engine
// instance, the class factory that creates them, and the library's registration.
#pragma once

#include "engine/server/server_module.hpp"
#include "engine/service/tavrix_com.hpp"
#include "tavrix/tavrix_com_interface.hpp"

namespace tavrix {

class TavrixComObject final : public server::RefCounted<TavrixComObject, ITavrixCom>,
                              public ISupportErrorInfo {
  public:
    // IUnknown: answers IUnknown, IDispatch and ITavrixCom with one pointer, and
    // ISupportErrorInfo with the other.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return RefCounted::AddRef(); }
    ULONG Release() override { return RefCounted::Release(); }

    // ISupportErrorInfo: a getTavrixFile call whose jobs failed leaves an error object on the
    // calling thread that says why; one whose jobs all succeeded clears it.
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                          DISPID* dispids) override;
    HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // ITavrixCom
    HRESULT getTavrixFile(BSTR input, BSTR output, BSTR params, BSTR* pVal) override;
    HRESULT put_startPage(LONG v) override { return putLong(6, v); }
    HRESULT put_endPage(LONG v) override { return putLong(7, v); }
    HRESULT put_startNumber(LONG v) override { return putLong(8, v); }
    HRESULT put_endNumber(LONG v) override { return putLong(9, v); }
    HRESULT put_mask(LONG v) override { return putLong(10, v); }
    HRESULT put_nth(LONG v) override { return putLong(11, v); }
    HRESULT put_seq(LONG v) override { return putLong(12, v); }
    HRESULT put_reverse(LONG v) override { return putLong(13, v); }
    HRESULT put_onePageNo(LONG v) override { return putLong(14, v); }
    HRESULT put_up2(LONG v) override { return putLong(15, v); }
    HRESULT put_ab2(LONG v) override { return putLong(16, v); }
    HRESULT put_rom(LONG v) override { return putLong(17, v); }
    HRESULT put_romUpper(LONG v) override { return putLong(18, v); }
    HRESULT put_importit(BSTR v) override { return putText(19, v); }
    HRESULT put_exportit(BSTR v) override { return putText(20, v); }
    HRESULT put_nopg(LONG v) override { return putLong(21, v); }
    HRESULT put_prefix(BSTR v) override { return putText(22, v); }
    HRESULT put_sep(BSTR v) override { return putText(23, v); }
    HRESULT put_end(BSTR v) override { return putText(24, v); }
    HRESULT put_font(BSTR v) override { return putText(25, v); }
    HRESULT put_fontfile(BSTR v) override { return putText(26, v); }
    HRESULT put_color(LONG v) override { return putLong(27, v); }
    HRESULT put_fontSize(LONG v) override { return putLong(28, v); }
    HRESULT put_fontAngle(LONG v) override { return putLong(29, v); }
    HRESULT put_noforce(LONG v) override { return putLong(30, v); }
    HRESULT put_posh(LONG v) override { return putLong(31, v); }
    HRESULT put_posv(LONG v) override { return putLong(32, v); }
    HRESULT put_flipv(LONG v) override { return putLong(33, v); }
    HRESULT put_fliph(LONG v) override { return putLong(34, v); }
    HRESULT put_align(BSTR v) override { return putText(35, v); }
    HRESULT put_renameoutput(BSTR v) override { return putText(36, v); }
    HRESULT put_opacity(LONG v) override { return putLong(37, v); }
    HRESULT put_CMYKcolor(LONG v) override { return putLong(38, v); }

    // The engine behind the interface; for tests that look at the settings a client made.
    const TavrixCom& engine() const { return engine_; }

  private:
    HRESULT putLong(DISPID dispid, LONG value);
    HRESULT putText(DISPID dispid, BSTR value);
    HRESULT invokeMethod(DISPPARAMS& params, VARIANT* result, UINT* argErr);
    void reportFailures() const;

    TavrixCom engine_;
};

// The library's entry points behind DllGetClassObject, DllRegisterServer, DllUnregisterServer.
HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT registerServer();
HRESULT unregisterServer();

} // namespace tavrix
