// ITavrixCom and IDispatch over one TavrixCom, the class factory, and the registration entries.
// No exception leaves this file: every entry answers with a status code.
#include "engine/server/tavrix_com_object.hpp"

#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <string>

#include "engine/server/type_library.hpp"
#include "tavrix/members.hpp"
#include "tavrixrt/com_ptr.hpp"
#include "tavrixrt/registry.hpp"
#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"

namespace tavrix {
namespace {

// Runs a member body; memory exhaustion and anything unforeseen become status codes.
template <class Body> HRESULT guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Converts one argument of Invoke; on failure reports its position (as stored) in argErr.
HRESULT argument(DISPPARAMS& params, UINT position, VARTYPE vt, VARIANT& out, UINT* argErr) {
    VariantInit(&out);
    const HRESULT hr = VariantChangeType(&out, &params.rgvarg[position], 0, vt);
    if (FAILED(hr) && argErr) *argErr = position;
    return hr;
}

class TavrixComFactory final : public server::RefCounted<TavrixComFactory, IClassFactory> {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            AddRef();
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return guarded([&] {
            auto* object = new TavrixComObject;
            const HRESULT hr = object->QueryInterface(riid, ppv);
            object->Release(); // the caller's reference, if any, keeps it alive
            return hr;
        });
    }

    HRESULT LockServer(BOOL lock) override { return server::lockServer(lock != 0); }
};

std::string guidText(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return tavrixrt::utf8FromUtf16(std::u16string_view(text, 38));
}

// The absolute path of the library that holds this code.
std::string libraryPath() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&registerServer), &info) || !info.dli_fname) return {};
    char* real = ::realpath(info.dli_fname, nullptr);
    if (!real) return {};
    std::string path(real);
    std::free(real);
    return path;
}

struct RegistrationKeys {
    std::string clsid = "CLSID\\" + guidText(CLSID_TavrixCom);
    std::string typeLib = "TypeLib\\" + guidText(LIBID_TavrixLib);
    std::string interface = "Interface\\" + guidText(IID_ITavrixCom);
};

} // namespace

HRESULT TavrixComObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITavrixCom) {
        AddRef();
        *ppv = static_cast<ITavrixCom*>(this);
        return S_OK;
    }
    if (riid == IID_ISupportErrorInfo) {
        AddRef();
        *ppv = static_cast<ISupportErrorInfo*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT TavrixComObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_ITavrixCom ? S_OK : S_FALSE;
}

void TavrixComObject::reportFailures() const {
    const std::string description = engine_.failureDescription();
    if (description.empty()) {
        SetErrorInfo(0, nullptr);
        return;
    }
    tavrixrt::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return;
    const std::u16string text = tavrixrt::utf16FromUtf8(description);
    const std::u16string source = tavrixrt::utf16FromUtf8(kTavrixProgId);
    create->SetGUID(IID_ITavrixCom);
    create->SetSource(const_cast<LPOLESTR>(source.c_str()));
    create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    // The kind of failure, for clients that offer a password or a repair (see FailureKind).
    create->SetHelpContext(static_cast<DWORD>(engine_.failureKind()));
    tavrixrt::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.queryInterface(IID_IErrorInfo, info))) SetErrorInfo(0, info.get());
}

HRESULT TavrixComObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_INVALIDARG;
    *count = 1;
    return S_OK;
}

HRESULT TavrixComObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return createInterfaceTypeInfo(info);
}

HRESULT TavrixComObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                       DISPID* dispids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return idsOfNames(names, count, dispids);
}

HRESULT TavrixComObject::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!params || (params->cArgs > 0 && !params->rgvarg) ||
        (params->cNamedArgs > 0 && !params->rgdispidNamedArgs) ||
        params->cNamedArgs > params->cArgs)
        return E_INVALIDARG;

    if (dispid == kGetTavrixFileDispid) {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        return invokeMethod(*params, result, argErr);
    }

    const PropertyInfo* property = findPropertyByDispid(dispid);
    if (!property) return DISP_E_MEMBERNOTFOUND;
    // Put-only: there is no getter and nothing to call.
    if (!(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTFOUND;

    const bool isLong =
        property->type == PropertyType::Long || property->type == PropertyType::Flag;
    VARIANT value;
    HRESULT hr = argument(*params, 0, isLong ? VT_I4 : VT_BSTR, value, argErr);
    if (FAILED(hr)) return hr;
    hr = isLong ? putLong(dispid, value.lVal) : putText(dispid, value.bstrVal);
    VariantClear(&value);
    return hr;
}

HRESULT TavrixComObject::invokeMethod(DISPPARAMS& params, VARIANT* result, UINT* argErr) {
    if (params.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params.cArgs != 3) return DISP_E_BADPARAMCOUNT;
    // Positional arguments arrive last-first: rgvarg[2] is the input path.
    VARIANT texts[3];
    for (auto& t : texts)
        VariantInit(&t);
    HRESULT hr = S_OK;
    for (UINT i = 0; i < 3 && SUCCEEDED(hr); ++i)
        hr = argument(params, 2 - i, VT_BSTR, texts[i], argErr);
    BSTR out = nullptr;
    if (SUCCEEDED(hr))
        hr = getTavrixFile(texts[0].bstrVal, texts[1].bstrVal, texts[2].bstrVal, &out);
    for (auto& t : texts)
        VariantClear(&t);
    if (FAILED(hr)) return hr;
    if (result) {
        VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal = out;
    } else {
        SysFreeString(out);
    }
    return S_OK;
}

HRESULT TavrixComObject::getTavrixFile(BSTR input, BSTR output, BSTR params, BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return guarded([&] {
        const std::string text =
            engine_.getTavrixFile(tavrixrt::utf8FromBstr(input), tavrixrt::utf8FromBstr(output),
                                  tavrixrt::utf8FromBstr(params));
        *pVal = tavrixrt::bstrFromUtf8(text);
        if (!*pVal) return E_OUTOFMEMORY;
        reportFailures();
        return S_OK;
    });
}

HRESULT TavrixComObject::putLong(DISPID dispid, LONG value) {
    return guarded([&] { return engine_.putLong(dispid, value) ? S_OK : E_UNEXPECTED; });
}

HRESULT TavrixComObject::putText(DISPID dispid, BSTR value) {
    return guarded([&] {
        return engine_.putText(dispid, tavrixrt::utf8FromBstr(value)) ? S_OK : E_UNEXPECTED;
    });
}

HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_TavrixCom) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) TavrixComFactory;
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

HRESULT registerServer() {
    return guarded([] {
        const std::string path = libraryPath();
        if (path.empty()) return E_UNEXPECTED;
        const std::string folder = path.substr(0, path.find_last_of('/') + 1);
        const RegistrationKeys keys;
        const std::string clsid = guidText(CLSID_TavrixCom);
        const std::string libid = guidText(LIBID_TavrixLib);
        return tavrixrt::editRegistry([&](tavrixrt::RegistryTree& r) {
            r.setValue(kTavrixVersionedProgId, "", kClassHelp);
            r.setValue(std::string(kTavrixVersionedProgId) + "\\CLSID", "", clsid);
            r.setValue(kTavrixProgId, "", kClassHelp);
            r.setValue(std::string(kTavrixProgId) + "\\CLSID", "", clsid);
            r.setValue(std::string(kTavrixProgId) + "\\CurVer", "", kTavrixVersionedProgId);

            r.setValue(keys.clsid, "", kClassHelp);
            r.setValue(keys.clsid + "\\ProgID", "", kTavrixVersionedProgId);
            r.setValue(keys.clsid + "\\VersionIndependentProgID", "", kTavrixProgId);
            r.createKey(keys.clsid + "\\Programmable");
            r.setValue(keys.clsid + "\\InprocServer32", "", path);
            r.setValue(keys.clsid + "\\InprocServer32", "ThreadingModel", "Apartment");
            r.setValue(keys.clsid + "\\TypeLib", "", libid);

            // The type library: its entry, where it lives, and the interface it describes.
            const std::string version = keys.typeLib + "\\1.0";
            r.setValue(version, "", kTypeLibraryHelp);
            r.setValue(version + (sizeof(void*) == 8 ? "\\0\\linux64" : "\\0\\linux32"), "", path);
            r.setValue(version + "\\FLAGS", "", "0");
            r.setValue(version + "\\HELPDIR", "", folder);
            r.setValue(keys.interface, "", kInterfaceName);
            r.setValue(keys.interface + "\\TypeLib", "", libid);
            r.setValue(keys.interface + "\\TypeLib", "Version", "1.0");
            return S_OK;
        });
    });
}

HRESULT unregisterServer() {
    return guarded([] {
        const RegistrationKeys keys;
        // The shared roots (CLSID, TypeLib, Interface) stay; other classes live under them.
        return tavrixrt::editRegistry([&](tavrixrt::RegistryTree& r) {
            r.deleteTree(kTavrixVersionedProgId);
            r.deleteTree(kTavrixProgId);
            r.deleteTree(keys.clsid);
            r.deleteTree(keys.typeLib);
            r.deleteTree(keys.interface);
            return S_OK;
        });
    });
}

} // namespace tavrix
