// A client that links only the runtime: registration, creation and its failures, binding by name,
// calls by slot and by dispatch, reference counts, type information, and two apartments at once.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <thread>

#include "automation_support.hpp"
#include "tavrix/tavrix_com_interface.hpp"
#include "tavrixrt/com_ptr.hpp"
#include "tavrixrt/registry.hpp"

using namespace tavrix_test;
using tavrix::CLSID_TavrixCom;
using tavrix::IID_ITavrixCom;
using tavrix::ITavrixCom;
using tavrixrt::Bstr;
using tavrixrt::ComPtr;

namespace {

const std::string kLibrary = TAVRIX_LIBRARY;
const std::string kRuntimeLibrary = TAVRIXRT_LIBRARY;
const std::string kFailure = "Stamp file issue\r\n";

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? buffer : path;
}

std::string guidText(REFGUID g) {
    OLECHAR text[39];
    StringFromGUID2(g, text, 39);
    return tavrixrt::utf8FromUtf16(text);
}

// The engine as the desktop program creates it: by class, asking for IUnknown, running
// it, then asking for ITavrixCom.
HRESULT createEngine(ComPtr<ITavrixCom>& engine) {
    ComPtr<IUnknown> unknown;
    HRESULT hr =
        CoCreateInstance(CLSID_TavrixCom, nullptr,
                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                         IID_IUnknown, unknown.putVoid());
    if (FAILED(hr)) return hr;
    hr = OleRun(unknown.get());
    if (FAILED(hr)) return hr;
    return unknown.queryInterface(IID_ITavrixCom, engine);
}

HRESULT dispidOf(IDispatch* object, const char16_t* name, DISPID& dispid) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return object->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
}

// A property put by name, as script clients make it.
HRESULT putByName(IDispatch* object, const char16_t* name, VARIANT value) {
    DISPID dispid = 0;
    HRESULT hr = dispidOf(object, name, dispid);
    if (FAILED(hr)) return hr;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return object->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          nullptr);
}

HRESULT putLong(IDispatch* object, const char16_t* name, LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return putByName(object, name, v);
}

HRESULT putText(IDispatch* object, const char16_t* name, const std::string& utf8) {
    Bstr text(utf8);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text.get();
    return putByName(object, name, v);
}

// getTavrixFile through IDispatch::Invoke, bound by name.
HRESULT stampByName(IDispatch* object, const std::string& input, const std::string& output,
                    std::string& result) {
    DISPID dispid = 0;
    HRESULT hr = dispidOf(object, u"GetTavrixFile", dispid);
    if (FAILED(hr)) return hr;
    Bstr in(input), out(output), params("");
    VARIANT args[3];
    for (VARIANT& a : args)
        VariantInit(&a), a.vt = VT_BSTR;
    args[2].bstrVal = in.get(); // last-first
    args[1].bstrVal = out.get();
    args[0].bstrVal = params.get();
    DISPPARAMS dp{args, nullptr, 3, 0};
    VARIANT value;
    VariantInit(&value);
    hr = object->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &dp, &value,
                        nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(value.vt, VT_BSTR);
        result = tavrixrt::utf8FromBstr(value.bstrVal);
    }
    VariantClear(&value);
    return hr;
}

HRESULT stampBySlot(ITavrixCom* engine, const std::string& input, const std::string& output,
                    std::string& result) {
    Bstr in(input), out(output), params(""), value;
    const HRESULT hr = engine->getTavrixFile(in.get(), out.get(), params.get(), value.put());
    if (SUCCEEDED(hr)) {
        EXPECT_NE(value.get(), nullptr) << "the result is always a string, even an empty one";
        result = value.utf8();
    }
    return hr;
}

DllCanUnloadNowFn canUnloadNowOfLoadedEngine(void*& handle) {
    handle = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    return handle ? reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"))
                  : nullptr;
}

// Each test has its own registry file with the engine registered, and an apartment.
class EngineClient : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(apartment.status(), S_OK);
        ASSERT_EQ(RegisterServerLibrary(kLibrary.c_str()), S_OK);
    }

    PrivateRegistry registry;
    Apartment apartment;
    TempDir dir;
};

} // namespace

TEST_F(EngineClient, RegistrationWritesEveryEntryAndUnregistrationKeepsOnlyTheRoots) {
    tavrixrt::RegistryTree r;
    ASSERT_EQ(tavrixrt::readRegistry(r), S_OK);
    const std::string clsid = guidText(CLSID_TavrixCom);
    const std::string libid = guidText(tavrix::LIBID_TavrixLib);
    const std::string key = "CLSID\\" + clsid;
    EXPECT_EQ(r.value("Tavrix.TavrixCom.1"), "TavrixCom Class");
    EXPECT_EQ(r.value("Tavrix.TavrixCom.1\\CLSID"), clsid);
    EXPECT_EQ(r.value("Tavrix.TavrixCom"), "TavrixCom Class");
    EXPECT_EQ(r.value("Tavrix.TavrixCom\\CLSID"), clsid);
    EXPECT_EQ(r.value("Tavrix.TavrixCom\\CurVer"), "Tavrix.TavrixCom.1");
    EXPECT_EQ(r.value(key), "TavrixCom Class");
    EXPECT_EQ(r.value(key + "\\ProgID"), "Tavrix.TavrixCom.1");
    EXPECT_EQ(r.value(key + "\\VersionIndependentProgID"), "Tavrix.TavrixCom");
    EXPECT_TRUE(r.hasKey(key + "\\Programmable"));
    EXPECT_EQ(r.value(key + "\\InprocServer32"), realPath(kLibrary));
    EXPECT_EQ(r.value(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(r.value(key + "\\TypeLib"), libid);
    EXPECT_EQ(r.value("TypeLib\\" + libid + "\\1.0"), "Tavrix 1.0 Type Library");
    EXPECT_EQ(r.value("Interface\\" + guidText(IID_ITavrixCom)), "ITavrixCom");

    // Another class registered beside ours survives our unregistration.
    ASSERT_EQ(tavrixrt::editRegistry([](tavrixrt::RegistryTree& t) {
                  return t.setValue("CLSID\\{00000000-0000-0000-0000-000000000001}", "", "Other");
              }),
              S_OK);
    ASSERT_EQ(UnregisterServerLibrary(kLibrary.c_str()), S_OK);
    ASSERT_EQ(tavrixrt::readRegistry(r), S_OK);
    EXPECT_FALSE(r.hasKey("Tavrix.TavrixCom"));
    EXPECT_FALSE(r.hasKey("Tavrix.TavrixCom.1"));
    EXPECT_FALSE(r.hasKey(key));
    EXPECT_FALSE(r.hasKey("TypeLib\\" + libid));
    EXPECT_EQ(r.subkeys("CLSID"),
              std::vector<std::string>{"{00000000-0000-0000-0000-000000000001}"});
    EXPECT_EQ(r.keyCount(),
              4u); // CLSID, the other class, and the empty TypeLib and Interface roots
    ComPtr<ITavrixCom> engine;
    EXPECT_EQ(createEngine(engine), REGDB_E_CLASSNOTREG);
    CLSID found;
    EXPECT_EQ(CLSIDFromProgID(u"Tavrix.TavrixCom", &found), CO_E_CLASSSTRING);

    // Registering again restores everything; a second registration changes nothing.
    ASSERT_EQ(RegisterServerLibrary(kLibrary.c_str()), S_OK);
    const std::string once = readFile(registry.path());
    ASSERT_EQ(RegisterServerLibrary(kLibrary.c_str()), S_OK);
    EXPECT_EQ(readFile(registry.path()), once);
    EXPECT_EQ(createEngine(engine), S_OK);
}

TEST_F(EngineClient, ProgIdsNameTheClass) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Tavrix.TavrixCom", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TavrixCom);
    EXPECT_EQ(CLSIDFromProgID(u"tavrix.tavrixcom.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TavrixCom);
    EXPECT_EQ(CLSIDFromProgID(u"Tavrix.Nothing", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    EXPECT_EQ(CLSIDFromProgID(u"CLSID", &clsid), CO_E_CLASSSTRING); // a key, but no class
    EXPECT_EQ(CLSIDFromProgID(u"a\\b", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);
}

TEST_F(EngineClient, EveryCreationFailureHasItsCodeAndAMessage) {
    constexpr DWORD inproc = CLSCTX_INPROC_SERVER;
    auto create = [&](REFCLSID clsid, REFIID riid = IID_IUnknown, IUnknown* outer = nullptr,
                      DWORD context = CLSCTX_INPROC_SERVER) {
        void* object = reinterpret_cast<void*>(1);
        const HRESULT hr = CoCreateInstance(clsid, outer, context, riid, &object);
        if (SUCCEEDED(hr))
            static_cast<IUnknown*>(object)->Release();
        else
            EXPECT_EQ(object, nullptr) << "a failed creation clears the out-pointer";
        return hr;
    };
    auto registerAt = [&](const GUID& clsid, const std::string& path) {
        ASSERT_EQ(tavrixrt::editRegistry([&](tavrixrt::RegistryTree& t) {
                      return t.setValue("CLSID\\" + guidText(clsid) + "\\InprocServer32", "", path);
                  }),
                  S_OK);
    };
    const GUID other{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

    EXPECT_EQ(create(CLSID_TavrixCom), S_OK);
    EXPECT_EQ(create(other), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(create(CLSID_TavrixCom, IID_IUnknown, nullptr, CLSCTX_LOCAL_SERVER),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(create(CLSID_TavrixCom, IID_IClassFactory), E_NOINTERFACE);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(CoCreateInstance(CLSID_TavrixCom, nullptr, inproc, IID_IUnknown, outer.putVoid()),
              S_OK);
    EXPECT_EQ(create(CLSID_TavrixCom, IID_IUnknown, outer.get()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_TavrixCom, nullptr, inproc, IID_IUnknown, nullptr), E_POINTER);

    registerAt(other, kLibrary); // the library exists but does not serve that class
    EXPECT_EQ(create(other), CLASS_E_CLASSNOTAVAILABLE);
    registerAt(other, dir.file("missing.so"));
    EXPECT_EQ(create(other), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    writeFile(dir.file("text.so"), "not a library");
    registerAt(other, dir.file("text.so"));
    EXPECT_EQ(create(other), HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));
    registerAt(other, kRuntimeLibrary); // loads, but is no server
    EXPECT_EQ(create(other), CO_E_ERRORINDLL);

    std::thread([&] { EXPECT_EQ(create(CLSID_TavrixCom), CO_E_NOTINITIALIZED); }).join();

    writeFile(registry.path(), "[CLSID\n");
    EXPECT_EQ(create(CLSID_TavrixCom), REGDB_E_READREGDB);
    ::unlink(registry.path().c_str());
    EXPECT_EQ(create(CLSID_TavrixCom), REGDB_E_CLASSNOTREG);

    for (const HRESULT hr :
         {REGDB_E_CLASSNOTREG, REGDB_E_READREGDB, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
          HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), CO_E_ERRORINDLL, CLASS_E_CLASSNOTAVAILABLE,
          CLASS_E_NOAGGREGATION, E_NOINTERFACE, E_POINTER, CO_E_NOTINITIALIZED}) {
        BSTR text = FormatSystemMessage(hr);
        EXPECT_NE(text, nullptr) << hex(hr);
        SysFreeString(text);
    }
}

TEST_F(EngineClient, StampsByProgIdByNameAndBySlot) {
    writeMinimalPdf(dir.file("in.pdf"), 2);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Tavrix.TavrixCom", &clsid), S_OK);
    ComPtr<IDispatch> object;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.putVoid()),
        S_OK);
    ComPtr<ITavrixCom> engine;
    ASSERT_EQ(object.queryInterface(IID_ITavrixCom, engine), S_OK);
    EXPECT_EQ(static_cast<void*>(engine.get()), static_cast<void*>(object.get()));

    // The export file shows the settings a run used: the highest shown number plus one.
    ASSERT_EQ(engine->put_startNumber(10), S_OK);
    ASSERT_EQ(putText(object.get(), u"exportit", dir.file("next.txt")), S_OK);
    std::string result = "unset";
    ASSERT_EQ(stampBySlot(engine.get(), dir.file("in.pdf"), dir.file("out1.pdf"), result), S_OK);
    EXPECT_EQ(result, "");
    EXPECT_EQ(readFile(dir.file("next.txt")), "12");
    EXPECT_EQ(readFile(dir.file("out1.pdf")).rfind("%PDF-", 0), 0u);

    ASSERT_EQ(putLong(object.get(), u"STARTNUMBER", 20), S_OK);
    ASSERT_EQ(stampByName(object.get(), dir.file("in.pdf"), dir.file("out2.pdf"), result), S_OK);
    EXPECT_EQ(result, "");
    EXPECT_EQ(readFile(dir.file("next.txt")), "22");
    EXPECT_TRUE(fileExists(dir.file("out2.pdf")));
}

TEST_F(EngineClient, AFailedJobStillSucceedsAtTheInterfaceWithItsText) {
    ComPtr<ITavrixCom> engine;
    ASSERT_EQ(createEngine(engine), S_OK);
    std::string result;
    EXPECT_EQ(stampBySlot(engine.get(), dir.file("missing.pdf"), dir.file("out.pdf"), result),
              S_OK);
    EXPECT_EQ(result, kFailure);
    EXPECT_EQ(stampByName(engine.get(), dir.file("missing.pdf"), dir.file("out.pdf"), result),
              S_OK);
    EXPECT_EQ(result, kFailure);
    EXPECT_FALSE(fileExists(dir.file("out.pdf")));
    // A null string is an empty path, not a crash.
    Bstr value;
    EXPECT_EQ(engine->getTavrixFile(nullptr, nullptr, nullptr, value.put()), S_OK);
    EXPECT_EQ(value.utf8(), kFailure);
    EXPECT_EQ(engine->getTavrixFile(nullptr, nullptr, nullptr, nullptr), E_POINTER);
}

TEST_F(EngineClient, SettingsStayInForceAndAnImportNeverWritesBack) {
    writeMinimalPdf(dir.file("in.pdf"), 2);
    writeFile(dir.file("start.txt"), "40");
    ComPtr<ITavrixCom> engine;
    ASSERT_EQ(createEngine(engine), S_OK);
    Bstr importFile(dir.file("start.txt")), exportFile(dir.file("next.txt")), none("");
    ASSERT_EQ(engine->put_importit(importFile.get()), S_OK);
    ASSERT_EQ(engine->put_exportit(exportFile.get()), S_OK);
    std::string result;
    for (int call = 0; call < 2; ++call) {
        ASSERT_EQ(stampBySlot(engine.get(), dir.file("in.pdf"), dir.file("out.pdf"), result), S_OK);
        EXPECT_EQ(result, "");
        EXPECT_EQ(readFile(dir.file("next.txt")), "42") << "call " << call;
    }
    // Without the import file the instance's own start number (the default 1) is back.
    ASSERT_EQ(engine->put_importit(none.get()), S_OK);
    ASSERT_EQ(stampBySlot(engine.get(), dir.file("in.pdf"), dir.file("out.pdf"), result), S_OK);
    EXPECT_EQ(readFile(dir.file("next.txt")), "3");
}

TEST_F(EngineClient, NonAsciiPathsReachTheEngineIntact) {
    const std::string folder = dir.file("D\xC3\xA9p\xC3\xB4t \xE2\x82\xAC \xF0\x9F\x93\x84");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string input = folder + "/\xC3\x9C"
                                       "bersicht.pdf";
    const std::string output = folder + "/\xE6\x97\xA5\xE6\x9C\xAC.pdf";
    writeMinimalPdf(input, 1);
    ComPtr<ITavrixCom> engine;
    ASSERT_EQ(createEngine(engine), S_OK);
    ASSERT_EQ(putText(engine.get(), u"exportit", folder + "/n\xC3\xBCmber"), S_OK);
    std::string result;
    ASSERT_EQ(stampBySlot(engine.get(), input, output, result), S_OK);
    EXPECT_EQ(result, "");
    EXPECT_TRUE(fileExists(output));
    EXPECT_EQ(readFile(folder + "/n\xC3\xBCmber"), "2");
}

TEST_F(EngineClient, EveryMemberIsFoundByNameWithItsDispatchIdentifier) {
    static const std::pair<const char16_t*, DISPID> kMembers[] = {
        {u"getTavrixFile", 5}, {u"startPage", 6},  {u"endPage", 7},   {u"startNumber", 8},
        {u"endNumber", 9},     {u"mask", 10},      {u"nth", 11},      {u"seq", 12},
        {u"reverse", 13},      {u"onePageNo", 14}, {u"up2", 15},      {u"ab2", 16},
        {u"rom", 17},          {u"romUpper", 18},  {u"importit", 19}, {u"exportit", 20},
        {u"nopg", 21},         {u"prefix", 22},    {u"sep", 23},      {u"end", 24},
        {u"font", 25},         {u"fontfile", 26},  {u"color", 27},    {u"fontSize", 28},
        {u"fontAngle", 29},    {u"noforce", 30},   {u"posh", 31},     {u"posv", 32},
        {u"flipv", 33},        {u"fliph", 34},     {u"align", 35},    {u"renameoutput", 36},
        {u"opacity", 37},      {u"CMYKcolor", 38}};
    ComPtr<ITavrixCom> engine;
    ASSERT_EQ(createEngine(engine), S_OK);
    for (const auto& [name, expected] : kMembers) {
        DISPID dispid = 0;
        EXPECT_EQ(dispidOf(engine.get(), name, dispid), S_OK) << tavrixrt::utf8FromUtf16(name);
        EXPECT_EQ(dispid, expected) << tavrixrt::utf8FromUtf16(name);
    }
    DISPID dispid = 0;
    EXPECT_EQ(dispidOf(engine.get(), u"cmykCOLOR", dispid), S_OK);
    EXPECT_EQ(dispid, 38);
    EXPECT_EQ(dispidOf(engine.get(), u"pageCount", dispid), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(dispid, DISPID_UNKNOWN);

    // Parameter names of the method, numbered in declaration order.
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"getTavrixFile"), const_cast<LPOLESTR>(u"m_params"),
                        const_cast<LPOLESTR>(u"m_intputFile"), const_cast<LPOLESTR>(u"nonsense")};
    DISPID ids[4];
    EXPECT_EQ(engine->GetIDsOfNames(IID_NULL, names, 4, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 5);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(ids[3], DISPID_UNKNOWN);
    EXPECT_EQ(engine->GetIDsOfNames(IID_ITavrixCom, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(EngineClient, TypeInformationDescribesTheInterfaceTheClassAndTheLibrary) {
    ComPtr<ITavrixCom> engine;
    ASSERT_EQ(createEngine(engine), S_OK);
    UINT count = 0;
    ASSERT_EQ(engine->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(engine->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
    ASSERT_EQ(engine->GetTypeInfo(0, 0, info.put()), S_OK);

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_ITavrixCom);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->cFuncs, 34);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);

    std::vector<std::string> helps;
    for (UINT i = 0; i < 34; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        EXPECT_EQ(f->memid, static_cast<MEMBERID>(5 + i));
        EXPECT_EQ(f->oVft, static_cast<int>((7 + i) * sizeof(void*))) << "slot order";
        Bstr name, help;
        ASSERT_EQ(info->GetDocumentation(f->memid, name.put(), help.put(), nullptr, nullptr), S_OK);
        helps.push_back(name.utf8() + ": " + help.utf8());
        if (i == 0) {
            EXPECT_EQ(f->invkind, INVOKE_FUNC);
            ASSERT_EQ(f->cParams, 3);
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_BSTR);
            EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
            BSTR names[5] = {};
            UINT got = 0;
            ASSERT_EQ(info->GetNames(f->memid, names, 5, &got), S_OK);
            ASSERT_EQ(got, 4u);
            EXPECT_EQ(tavrixrt::utf8FromBstr(names[1]), "m_intputFile");
            for (UINT k = 0; k < got; ++k)
                SysFreeString(names[k]);
        } else {
            EXPECT_EQ(f->invkind, INVOKE_PROPERTYPUT);
            EXPECT_EQ(f->cParams, 1);
        }
        info->ReleaseFuncDesc(f);
    }
    EXPECT_EQ(helps[0], "getTavrixFile: method getTavrixFile");
    EXPECT_EQ(helps[1], "startPage: property startPage");
    EXPECT_EQ(helps[17], "prefix: property prefix");
    EXPECT_EQ(helps[26], "posh: property m_posh");
    EXPECT_EQ(helps[27], "posv: property m_posv");
    EXPECT_EQ(helps[33], "CMYKcolor: property CMYKcolor");
    FUNCDESC* none = nullptr;
    EXPECT_EQ(info->GetFuncDesc(34, &none), TYPE_E_ELEMENTNOTFOUND);

    ComPtr<ITypeLib> lib;
    UINT index = 99;
    ASSERT_EQ(info->GetContainingTypeLib(lib.put(), &index), S_OK);
    EXPECT_EQ(index, 0u);
    Bstr libName, libHelp;
    ASSERT_EQ(lib->GetDocumentation(-1, libName.put(), libHelp.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(libName.utf8(), "TavrixLib");
    EXPECT_EQ(libHelp.utf8(), "Tavrix 1.0 Type Library");
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(libAttr->guid, tavrix::LIBID_TavrixLib);
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(libAttr);

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_TavrixCom, coclass.put()), S_OK);
    Bstr className, classHelp;
    ASSERT_EQ(
        coclass->GetDocumentation(MEMBERID_NIL, className.put(), classHelp.put(), nullptr, nullptr),
        S_OK);
    EXPECT_EQ(className.utf8(), "TavrixCom");
    EXPECT_EQ(classHelp.utf8(), "TavrixCom Class");
    HREFTYPE href = 0;
    INT flags = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &href), S_OK);
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    ComPtr<ITypeInfo> defaultInterface;
    ASSERT_EQ(coclass->GetRefTypeInfo(href, defaultInterface.put()), S_OK);
    Bstr interfaceName, interfaceHelp;
    ASSERT_EQ(defaultInterface->GetDocumentation(MEMBERID_NIL, interfaceName.put(),
                                                 interfaceHelp.put(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(interfaceName.utf8(), "ITavrixCom");
    EXPECT_EQ(interfaceHelp.utf8(), "ITavrixCom Interface");
}

TEST_F(EngineClient, ReferenceCountsAndLocksDecideWhetherTheLibraryMayUnload) {
    ComPtr<ITavrixCom> engine;
    ASSERT_EQ(createEngine(engine), S_OK);
    void* handle = nullptr;
    const DllCanUnloadNowFn canUnloadNow = canUnloadNowOfLoadedEngine(handle);
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_FALSE);

    EXPECT_EQ(engine->AddRef(), 2u);
    EXPECT_EQ(engine->Release(), 1u);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(engine.queryInterface(IID_IDispatch, dispatch), S_OK);
    EXPECT_EQ(engine->AddRef(), 3u);
    EXPECT_EQ(engine->Release(), 2u);
    ComPtr<IClassFactory> notOffered;
    EXPECT_EQ(engine.queryInterface(IID_IClassFactory, notOffered), E_NOINTERFACE);
    EXPECT_FALSE(notOffered);
    dispatch.reset();
    engine.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);

    // A held class factory, a lock on it, and a type description each keep the library.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_TavrixCom, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    ComPtr<ITavrixCom> made;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITavrixCom, made.putVoid()), S_OK);
    IClassFactory* raw = factory.detach();
    EXPECT_EQ(raw->Release(), 0u);
    made.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "two locks are still held";
    ASSERT_EQ(CoGetClassObject(CLSID_TavrixCom, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(factory->LockServer(0), E_UNEXPECTED) << "an unlock without a lock";
    ComPtr<ITypeInfo> info;
    {
        ComPtr<ITavrixCom> temp;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITavrixCom, temp.putVoid()), S_OK);
        ASSERT_EQ(temp->GetTypeInfo(0, 0, info.put()), S_OK);
    }
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the type description is alive";
    info.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
    ::dlclose(handle);
}

TEST(EngineUnload, TheLibraryIsUnloadedWhenTheLastApartmentCloses) {
    PrivateRegistry registry;
    ASSERT_EQ(RegisterServerLibrary(kLibrary.c_str()), S_OK);
    void* handle = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_EQ(handle, nullptr) << "registration leaves the library unloaded";
    {
        Apartment apartment;
        ComPtr<ITavrixCom> engine;
        ASSERT_EQ(createEngine(engine), S_OK);
        CoFreeUnusedLibraries(); // in use: stays
        handle = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(handle, nullptr);
        ::dlclose(handle);
    }
    handle = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(handle, nullptr);
    if (handle) ::dlclose(handle);
}

TEST(EngineThreads, TwoApartmentsRunJobsAtTheSameTime) {
    PrivateRegistry registry;
    ASSERT_EQ(RegisterServerLibrary(kLibrary.c_str()), S_OK);
    TempDir dir;
    writeMinimalPdf(dir.file("in.pdf"), 3);
    auto worker = [&](int id) {
        Apartment apartment;
        ASSERT_EQ(apartment.status(), S_OK);
        ComPtr<ITavrixCom> engine;
        ASSERT_EQ(createEngine(engine), S_OK);
        const std::string exportFile = dir.file("next" + std::to_string(id));
        ASSERT_EQ(putText(engine.get(), u"exportit", exportFile), S_OK);
        ASSERT_EQ(putText(engine.get(), u"prefix", "Thread \xC3\xA9 " + std::to_string(id)), S_OK);
        for (int round = 0; round < 6; ++round) {
            const LONG start = id * 1000 + round;
            ASSERT_EQ(engine->put_startNumber(start), S_OK);
            std::string result;
            const std::string out = dir.file("out" + std::to_string(id) + ".pdf");
            ASSERT_EQ(stampBySlot(engine.get(), dir.file("in.pdf"), out, result), S_OK);
            EXPECT_EQ(result, "");
            EXPECT_EQ(readFile(exportFile), std::to_string(start + 3));
        }
    };
    std::thread a(worker, 1);
    std::thread b(worker, 2);
    a.join();
    b.join();
}
