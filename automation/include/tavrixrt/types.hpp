// Binary conventions of the automation runtime: status codes, GUIDs, counted wide strings and the
// variant records that IDispatch::Invoke passes. Layouts and numeric values are the conventional
// ones of automation, so a client in any language (C++, C, Python ctypes) can share them.
#pragma once

#include <cstdint>

// Marks what libtavrixrt.so exports; everything else in it stays hidden.
#define TAVRIXRT_EXPORT __attribute__((visibility("default")))

// ---- scalar types ----------------------------------------------------------------------------

using HRESULT = int32_t;
using SCODE = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using INT = int32_t;
using UINT = uint32_t;
using USHORT = uint16_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using BOOL = int32_t;
using LCID = uint32_t;
using DISPID = int32_t;
using MEMBERID = DISPID;
using HREFTYPE = DWORD;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;

// Wide characters are UTF-16 code units on every platform (wchar_t is 32 bits on Linux).
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// A counted wide string: the pointer addresses the first character; a 32-bit byte count sits in
// the four bytes before it and a NUL character follows the last one. A null BSTR is the empty
// string. Allocate and free only through the Sys* functions of runtime.hpp.
using BSTR = OLECHAR*;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---- status codes ------------------------------------------------------------------------------

constexpr HRESULT makeHresult(uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
// Win32 error numbers as status codes (facility 7).
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t error) {
    return error == 0 ? 0 : makeHresult((error & 0xFFFFu) | 0x80070000u);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr HRESULT E_NOTIMPL = makeHresult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = makeHresult(0x80004002u);
inline constexpr HRESULT E_POINTER = makeHresult(0x80004003u);
inline constexpr HRESULT E_ABORT = makeHresult(0x80004004u);
inline constexpr HRESULT E_FAIL = makeHresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = makeHresult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = makeHresult(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = makeHresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = makeHresult(0x80070057u);

inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
inline constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;
inline constexpr uint32_t ERROR_BAD_EXE_FORMAT = 193;

inline constexpr HRESULT RPC_E_CHANGED_MODE = makeHresult(0x80010106u);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = makeHresult(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = makeHresult(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = makeHresult(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = makeHresult(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = makeHresult(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = makeHresult(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = makeHresult(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = makeHresult(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = makeHresult(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = makeHresult(0x8002000Bu);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = makeHresult(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = makeHresult(0x8002000Fu);

inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = makeHresult(0x8002802Bu);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = makeHresult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = makeHresult(0x80040111u);
inline constexpr HRESULT REGDB_E_READREGDB = makeHresult(0x80040150u);
inline constexpr HRESULT REGDB_E_WRITEREGDB = makeHresult(0x80040151u);
inline constexpr HRESULT REGDB_E_KEYMISSING = makeHresult(0x80040152u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = makeHresult(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = makeHresult(0x800401F0u);
inline constexpr HRESULT CO_E_CLASSSTRING = makeHresult(0x800401F3u);
inline constexpr HRESULT CO_E_ERRORINDLL = makeHresult(0x800401F9u);

// ---- GUIDs -------------------------------------------------------------------------------------

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;

// ---- variants ----------------------------------------------------------------------------------

struct IUnknown;
struct IDispatch;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        int64_t llVal;
        uint64_t ullVal;
        LONG lVal;
        ULONG ulVal;
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        LONG* plVal;
        int16_t* piVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        VARIANT* pvarVal;
        void* byref;
        void* recordPad[2]; // keeps the record form's size: the union is two pointers wide
    };
};
using VARIANTARG = VARIANT;

// Flags of IDispatch::Invoke.
enum : WORD {
    DISPATCH_METHOD = 0x1,
    DISPATCH_PROPERTYGET = 0x2,
    DISPATCH_PROPERTYPUT = 0x4,
    DISPATCH_PROPERTYPUTREF = 0x8,
};

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

// Arguments of Invoke: positional arguments are stored last-first in rgvarg; named ones come
// first, with their identifiers in rgdispidNamedArgs.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

// ---- type descriptions (what ITypeInfo hands out) -----------------------------------------------

enum TYPEKIND : int32_t {
    TKIND_ENUM = 0,
    TKIND_RECORD = 1,
    TKIND_MODULE = 2,
    TKIND_INTERFACE = 3,
    TKIND_DISPATCH = 4,
    TKIND_COCLASS = 5,
    TKIND_ALIAS = 6,
    TKIND_UNION = 7,
};

enum FUNCKIND : int32_t {
    FUNC_VIRTUAL = 0,
    FUNC_PUREVIRTUAL = 1,
    FUNC_NONVIRTUAL = 2,
    FUNC_STATIC = 3,
    FUNC_DISPATCH = 4,
};

enum INVOKEKIND : int32_t {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8,
};

enum CALLCONV : int32_t {
    CC_FASTCALL = 0,
    CC_CDECL = 1,
    CC_STDCALL = 4,
};

enum SYSKIND : int32_t {
    SYS_WIN16 = 0,
    SYS_WIN32 = 1,
    SYS_MAC = 2,
    SYS_WIN64 = 3,
};

enum : WORD {
    TYPEFLAG_FAPPOBJECT = 0x1,
    TYPEFLAG_FCANCREATE = 0x2,
    TYPEFLAG_FHIDDEN = 0x10,
    TYPEFLAG_FDUAL = 0x40,
    TYPEFLAG_FNONEXTENSIBLE = 0x80,
    TYPEFLAG_FOLEAUTOMATION = 0x100,
    TYPEFLAG_FDISPATCHABLE = 0x1000,
};

enum : USHORT {
    PARAMFLAG_NONE = 0,
    PARAMFLAG_FIN = 0x1,
    PARAMFLAG_FOUT = 0x2,
    PARAMFLAG_FLCID = 0x4,
    PARAMFLAG_FRETVAL = 0x8,
    PARAMFLAG_FOPT = 0x10,
};

enum : INT { IMPLTYPEFLAG_FDEFAULT = 0x1, IMPLTYPEFLAG_FSOURCE = 0x2 };

struct ARRAYDESC;
struct PARAMDESCEX;
struct VARDESC;
struct ITypeComp;

struct TYPEDESC {
    union {
        TYPEDESC* lptdesc; // VT_PTR: the pointed-to type
        ARRAYDESC* lpadesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};

struct IDLDESC {
    uintptr_t dwReserved;
    USHORT wIDLFlags;
};

struct PARAMDESC {
    PARAMDESCEX* pparamdescex;
    USHORT wParamFlags;
};

struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
};

struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    int16_t cParams;
    int16_t cParamsOpt;
    int16_t oVft; // byte offset of the member's slot in the vtable
    int16_t cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};

// ---- runtime initialisation and class contexts
// ---------------------------------------------------

enum : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

enum : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
    CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER,
};
