// A client that links only the runtime and reaches the engine through the registry: creation by
// ProgID, calls by name and by slot, and the reference counts that decide when the library goes.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "automation_support.hpp"
#include "tavrix/tavrix_com_interface.hpp"
#include "tavrixrt/com_ptr.hpp"

using namespace tavrix_test;
using tavrix::CLSID_TavrixCom;
using tavrix::IID_ITavrixCom;
using tavrix::ITavrixCom;
using tavrixrt::Bstr;
using tavrixrt::ComPtr;

namespace {

const std::string kLibrary = TAVRIX_LIBRARY;
const std::string kFailure = "Stamp file issue\r\n";

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

// getTavrixFile through IDispatch::Invoke, bound by name.
HRESULT stampByName(IDispatch* object, const std::string& input, const std::string& output,
                    std::string& result) {
    DISPID dispid = 0;
    HRESULT hr = dispidOf(object, u"GetTavrixFile", dispid);
    if (FAILED(hr)) return hr;
    Bstr in(input), out(output), params("");
    VARIANT args[3] = {textValue(params.get()), textValue(out.get()),
                       textValue(in.get())}; // last first
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
    Bstr exportFile(dir.file("next.txt"));
    ASSERT_EQ(putByName(object.get(), u"exportit", textValue(exportFile.get())), S_OK);
    std::string result = "unset";
    ASSERT_EQ(stampBySlot(engine.get(), dir.file("in.pdf"), dir.file("out1.pdf"), result), S_OK);
    EXPECT_EQ(result, "");
    EXPECT_EQ(readFile(dir.file("next.txt")), "12");
    EXPECT_EQ(readFile(dir.file("out1.pdf")).rfind("%PDF-", 0), 0u);

    ASSERT_EQ(putByName(object.get(), u"STARTNUMBER", longValue(20)), S_OK);
    ASSERT_EQ(stampByName(object.get(), dir.file("in.pdf"), dir.file("out2.pdf"), result), S_OK);
    EXPECT_EQ(result, "");
    EXPECT_EQ(readFile(dir.file("next.txt")), "22");
    EXPECT_TRUE(fileExists(dir.file("out2.pdf")));

    // A failed job still succeeds at the interface, with its text; a null string is an empty
    // path, not a crash.
    EXPECT_EQ(stampByName(object.get(), dir.file("missing.pdf"), dir.file("out.pdf"), result),
              S_OK);
    EXPECT_EQ(result, kFailure);
    EXPECT_FALSE(fileExists(dir.file("out.pdf")));
    Bstr value;
    EXPECT_EQ(engine->getTavrixFile(nullptr, nullptr, nullptr, value.put()), S_OK);
    EXPECT_EQ(value.utf8(), kFailure);
    EXPECT_EQ(engine->getTavrixFile(nullptr, nullptr, nullptr, nullptr), E_POINTER);
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
