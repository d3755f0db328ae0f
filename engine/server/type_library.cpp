// The type library's data and the ITypeInfo / ITypeLib objects that describe it to clients.
#include "engine/server/type_library.hpp"

#include <new>

#include "engine/server/server_module.hpp"
#include "tavrix/members.hpp"
#include "tavrix/tavrix_com_interface.hpp"
#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"

namespace tavrix {
namespace {

std::vector<MemberDescription> buildMembers() {
    std::vector<MemberDescription> members;
    members.push_back({"getTavrixFile",
                       kGetTavrixFileDispid,
                       INVOKE_FUNC,
                       kGetTavrixFileSlot,
                       std::string(kGetTavrixFileHelp),
                       {{"m_intputFile", VT_BSTR, PARAMFLAG_FIN},
                        {"m_outputFile", VT_BSTR, PARAMFLAG_FIN},
                        {"m_params", VT_BSTR, PARAMFLAG_FIN},
                        {"pVal", VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}}});
    for (const PropertyInfo& p : tavrixProperties()) {
        const bool isLong = p.type == PropertyType::Long || p.type == PropertyType::Flag;
        members.push_back(
            {p.name,
             p.dispid,
             INVOKE_PROPERTYPUT,
             propertySlot(p),
             std::string(p.help),
             {{"newVal", static_cast<VARTYPE>(isLong ? VT_I4 : VT_BSTR), PARAMFLAG_FIN}}});
    }
    return members;
}

HRESULT putString(BSTR* out, std::string_view text) {
    if (!out) return S_OK;
    *out = tavrixrt::bstrFromUtf8(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

struct FunctionBlock {
    FUNCDESC desc; // first, so that a FUNCDESC* is the block's address
    ELEMDESC parameters[4];
};

enum class TypeKind { Interface, Class };

HRESULT createTypeInfo(TypeKind kind, ITypeInfo** info);

class TypeLibrary final : public server::RefCounted<TypeLibrary, ITypeLib> {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeLib) {
            AddRef();
            *ppv = static_cast<ITypeLib*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    UINT GetTypeInfoCount() override { return 2; }

    HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override {
        if (!info) return E_INVALIDARG;
        *info = nullptr;
        if (index > 1) return TYPE_E_ELEMENTNOTFOUND;
        return createTypeInfo(index == 0 ? TypeKind::Interface : TypeKind::Class, info);
    }

    HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
        if (!kind) return E_INVALIDARG;
        if (index > 1) return TYPE_E_ELEMENTNOTFOUND;
        *kind = index == 0 ? TKIND_DISPATCH : TKIND_COCLASS;
        return S_OK;
    }

    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
        if (!info) return E_INVALIDARG;
        *info = nullptr;
        if (guid == IID_ITavrixCom) return createTypeInfo(TypeKind::Interface, info);
        if (guid == CLSID_TavrixCom) return createTypeInfo(TypeKind::Class, info);
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT GetLibAttr(TLIBATTR** attr) override {
        if (!attr) return E_INVALIDARG;
        *attr = new (std::nothrow) TLIBATTR{
            LIBID_TavrixLib,   0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, kTypeLibraryMajor,
            kTypeLibraryMinor, 0};
        return *attr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetTypeComp(ITypeComp** comp) override {
        if (comp) *comp = nullptr;
        return E_NOTIMPL;
    }

    HRESULT GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* helpContext,
                             BSTR* helpFile) override {
        if (index < -1 || index > 1) return TYPE_E_ELEMENTNOTFOUND;
        if (helpContext) *helpContext = 0;
        if (helpFile) *helpFile = nullptr;
        static constexpr const char* kNames[] = {kTypeLibraryName, kInterfaceName, kClassName};
        static constexpr const char* kHelp[] = {kTypeLibraryHelp, kInterfaceHelp, kClassHelp};
        try {
            HRESULT hr = putString(name, kNames[index + 1]);
            if (SUCCEEDED(hr)) hr = putString(doc, kHelp[index + 1]);
            return hr;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT IsName(LPOLESTR name, ULONG, BOOL* found) override {
        if (!name || !found) return E_INVALIDARG;
        try {
            const std::string text = tavrixrt::utf8FromUtf16(name);
            *found = findMember(text) || sameMemberName(text, kInterfaceName) ||
                     sameMemberName(text, kClassName);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* found) override {
        if (found) *found = 0;
        return E_NOTIMPL;
    }

    void ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }
};

class TypeInfo final : public server::RefCounted<TypeInfo, ITypeInfo> {
  public:
    explicit TypeInfo(TypeKind kind) : kind_(kind) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
            AddRef();
            *ppv = static_cast<ITypeInfo*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT GetTypeAttr(TYPEATTR** attr) override {
        if (!attr) return E_INVALIDARG;
        auto* a = new (std::nothrow) TYPEATTR{};
        if (!a) return E_OUTOFMEMORY;
        a->memidConstructor = MEMBERID_NIL;
        a->memidDestructor = MEMBERID_NIL;
        a->cImplTypes = 1;
        a->cbAlignment = alignof(void*);
        a->tdescAlias.vt = VT_EMPTY;
        if (kind_ == TypeKind::Interface) {
            a->guid = IID_ITavrixCom;
            a->typekind = TKIND_DISPATCH;
            a->cbSizeInstance = sizeof(void*);
            a->cFuncs = static_cast<WORD>(interfaceMembers().size());
            a->cbSizeVft = static_cast<WORD>(kGetTavrixFileSlot * sizeof(void*));
            a->wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
        } else {
            a->guid = CLSID_TavrixCom;
            a->typekind = TKIND_COCLASS;
            a->cbSizeInstance = sizeof(void*);
            a->wTypeFlags = TYPEFLAG_FCANCREATE;
            a->wMajorVerNum = kTypeLibraryMajor;
            a->wMinorVerNum = kTypeLibraryMinor;
        }
        *attr = a;
        return S_OK;
    }

    HRESULT GetTypeComp(ITypeComp** comp) override {
        if (comp) *comp = nullptr;
        return E_NOTIMPL;
    }

    HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override {
        if (!desc) return E_INVALIDARG;
        *desc = nullptr;
        const auto members = interfaceMembers();
        if (kind_ != TypeKind::Interface || index >= members.size()) return TYPE_E_ELEMENTNOTFOUND;
        const MemberDescription& m = members[index];
        auto* block = new (std::nothrow) FunctionBlock{};
        if (!block) return E_OUTOFMEMORY;
        FUNCDESC& d = block->desc;
        d.memid = m.dispid;
        d.lprgelemdescParam = block->parameters;
        d.funckind = FUNC_DISPATCH;
        d.invkind = m.kind;
        d.callconv = CC_CDECL;
        d.oVft = static_cast<int16_t>(m.slot * sizeof(void*));
        d.elemdescFunc.tdesc.vt = VT_VOID;
        int16_t n = 0;
        for (const ParameterDescription& p : m.parameters) {
            if (p.flags & PARAMFLAG_FRETVAL) {
                d.elemdescFunc.tdesc.vt = p.vt;
                continue;
            }
            block->parameters[n].tdesc.vt = p.vt;
            block->parameters[n].paramdesc.wParamFlags = p.flags;
            ++n;
        }
        d.cParams = n;
        *desc = &d;
        return S_OK;
    }

    HRESULT GetVarDesc(UINT, VARDESC** desc) override {
        if (desc) *desc = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT GetNames(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) override {
        if (!names || !count) return E_INVALIDARG;
        *count = 0;
        const MemberDescription* m = kind_ == TypeKind::Interface ? findMember(memid) : nullptr;
        if (!m) return TYPE_E_ELEMENTNOTFOUND;
        try {
            std::vector<std::string_view> all{m->name};
            for (const auto& p : m->parameters)
                if (!(p.flags & PARAMFLAG_FRETVAL)) all.push_back(p.name);
            UINT written = 0;
            for (; written < all.size() && written < maxNames; ++written) {
                if (FAILED(putString(&names[written], all[written]))) {
                    while (written > 0)
                        SysFreeString(names[--written]);
                    return E_OUTOFMEMORY;
                }
            }
            *count = written;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* href) override {
        if (!href) return E_INVALIDARG;
        // The coclass implements ITavrixCom; IDispatch, which ITavrixCom derives from, is
        // described by the platform's standard library, not by this one.
        if (kind_ != TypeKind::Class || index != 0) return TYPE_E_ELEMENTNOTFOUND;
        *href = kInterfaceHref;
        return S_OK;
    }

    HRESULT GetImplTypeFlags(UINT index, INT* flags) override {
        if (!flags) return E_INVALIDARG;
        if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
        *flags = kind_ == TypeKind::Class ? IMPLTYPEFLAG_FDEFAULT : 0;
        return S_OK;
    }

    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* memids) override {
        if (kind_ != TypeKind::Interface) return DISP_E_UNKNOWNNAME;
        return idsOfNames(names, count, memids);
    }

    HRESULT Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr) override {
        if (!instance) return E_INVALIDARG;
        if (kind_ != TypeKind::Interface) return DISP_E_MEMBERNOTFOUND;
        return static_cast<ITavrixCom*>(instance)->Invoke(memid, IID_NULL, 0, flags, params, result,
                                                          excepInfo, argErr);
    }

    HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* helpContext,
                             BSTR* helpFile) override {
        if (helpContext) *helpContext = 0;
        if (helpFile) *helpFile = nullptr;
        std::string_view shownName;
        std::string_view help;
        if (memid == MEMBERID_NIL) {
            shownName = kind_ == TypeKind::Interface ? kInterfaceName : kClassName;
            help = kind_ == TypeKind::Interface ? kInterfaceHelp : kClassHelp;
        } else if (const MemberDescription* m =
                       kind_ == TypeKind::Interface ? findMember(memid) : nullptr) {
            shownName = m->name;
            help = m->help;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        try {
            HRESULT hr = putString(name, shownName);
            if (SUCCEEDED(hr)) hr = putString(doc, help);
            if (FAILED(hr) && name) SysFreeString(*name);
            return hr;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT GetRefTypeInfo(HREFTYPE href, ITypeInfo** info) override {
        if (!info) return E_INVALIDARG;
        *info = nullptr;
        if (kind_ != TypeKind::Class || href != kInterfaceHref) return TYPE_E_ELEMENTNOTFOUND;
        return createTypeInfo(TypeKind::Interface, info);
    }

    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** address) override {
        if (address) *address = nullptr;
        return E_NOTIMPL;
    }

    HRESULT CreateInstance(IUnknown*, REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOTIMPL;
    }

    HRESULT GetMops(MEMBERID, BSTR* mops) override {
        if (mops) *mops = nullptr;
        return S_OK;
    }

    HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
        if (!lib) return E_INVALIDARG;
        *lib = new (std::nothrow) TypeLibrary;
        if (!*lib) return E_OUTOFMEMORY;
        if (index) *index = kind_ == TypeKind::Interface ? 0 : 1;
        return S_OK;
    }

    void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

    void ReleaseFuncDesc(FUNCDESC* desc) override { delete reinterpret_cast<FunctionBlock*>(desc); }

    void ReleaseVarDesc(VARDESC*) override {}

  private:
    static constexpr HREFTYPE kInterfaceHref = 1;
    TypeKind kind_;
};

HRESULT createTypeInfo(TypeKind kind, ITypeInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = new (std::nothrow) TypeInfo(kind);
    return *info ? S_OK : E_OUTOFMEMORY;
}

} // namespace

std::span<const MemberDescription> interfaceMembers() {
    static const std::vector<MemberDescription> members = buildMembers();
    return members;
}

const MemberDescription* findMember(std::string_view name) {
    for (const MemberDescription& m : interfaceMembers())
        if (sameMemberName(m.name, name)) return &m;
    return nullptr;
}

const MemberDescription* findMember(DISPID dispid) {
    for (const MemberDescription& m : interfaceMembers())
        if (m.dispid == dispid) return &m;
    return nullptr;
}

HRESULT idsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    try {
        const MemberDescription* m =
            names[0] ? findMember(tavrixrt::utf8FromUtf16(names[0])) : nullptr;
        if (!m) return DISP_E_UNKNOWNNAME;
        ids[0] = m->dispid;
        HRESULT hr = S_OK;
        for (UINT i = 1; i < count; ++i) {
            const std::string name = names[i] ? tavrixrt::utf8FromUtf16(names[i]) : std::string();
            for (size_t k = 0; k < m->parameters.size(); ++k)
                if (sameMemberName(m->parameters[k].name, name)) ids[i] = static_cast<DISPID>(k);
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT createInterfaceTypeInfo(ITypeInfo** info) {
    return createTypeInfo(TypeKind::Interface, info);
}

HRESULT createClassTypeInfo(ITypeInfo** info) {
    return createTypeInfo(TypeKind::Class, info);
}

HRESULT createTypeLibrary(ITypeLib** lib) {
    if (!lib) return E_INVALIDARG;
    *lib = new (std::nothrow) TypeLibrary;
    return *lib ? S_OK : E_OUTOFMEMORY;
}

} // namespace tavrix
