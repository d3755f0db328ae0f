// Apartments, object creation through the registry, and the table of loaded server libraries.
//
// The table is process-wide by nature: a server library is loaded once for every apartment that
// uses it. Its mutex is held from loading a library until the caller owns a reference to the
// object it asked for, so that CoFreeUnusedLibraries on another thread never unloads a library
// between the moment its DllCanUnloadNow would answer S_OK and the first reference.
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tavrixrt/registry.hpp"
#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"

namespace {

struct ServerLibrary {
    void* handle;
    DllGetClassObjectFn getClassObject;
    DllCanUnloadNowFn canUnloadNow; // may be missing: then the library stays loaded
};

struct LibraryTable {
    // Recursive: a server may create other objects while it creates its own.
    std::recursive_mutex mutex;
    std::vector<ServerLibrary> libraries;
    int apartments = 0; // threads with an open apartment
};

LibraryTable& libraryTable() {
    // Never destroyed: libraries may still run code while the process exits.
    static LibraryTable* table = new LibraryTable;
    return *table;
}

struct Apartment {
    uint32_t initCount = 0;
    DWORD model = COINIT_MULTITHREADED;
};
thread_local Apartment tApartment;

std::string keyOf(REFCLSID clsid) {
    OLECHAR text[39];
    StringFromGUID2(clsid, text, 39);
    return "CLSID\\" + tavrixrt::utf8FromUtf16(std::u16string_view(text, 38));
}

// Opens a library by path; the status codes say whether it is missing or broken.
HRESULT openLibrary(const std::string& path, void*& handle) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle ? S_OK : HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
}

// Finds or loads the library; the caller holds the table's mutex.
HRESULT loadServer(LibraryTable& table, const std::string& path, ServerLibrary*& out) {
    void* handle = nullptr;
    const HRESULT hr = openLibrary(path, handle);
    if (FAILED(hr)) return hr;
    for (ServerLibrary& lib : table.libraries) {
        if (lib.handle == handle) {
            ::dlclose(handle); // the table already holds one reference
            out = &lib;
            return S_OK;
        }
    }
    auto getClassObject =
        reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
    if (!getClassObject) {
        ::dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    auto canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
    table.libraries.push_back({handle, getClassObject, canUnloadNow});
    out = &table.libraries.back();
    return S_OK;
}

HRESULT serverPath(REFCLSID clsid, DWORD context, std::string& path) {
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    tavrixrt::RegistryTree registry;
    try {
        const HRESULT hr = tavrixrt::readRegistry(registry);
        if (FAILED(hr)) return hr;
        const auto value = registry.value(keyOf(clsid) + "\\InprocServer32");
        if (!value || value->empty()) return REGDB_E_CLASSNOTREG;
        path = *value;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// Asks the registered library for the class object; the caller holds the table's mutex.
HRESULT classObjectLocked(LibraryTable& table, REFCLSID clsid, DWORD context, REFIID riid,
                          void** ppv) {
    std::string path;
    HRESULT hr = serverPath(clsid, context, path);
    if (FAILED(hr)) return hr;
    ServerLibrary* lib = nullptr;
    hr = loadServer(table, path, lib);
    if (FAILED(hr)) return hr;
    return lib->getClassObject(clsid, riid, ppv);
}

void freeUnusedLocked(LibraryTable& table) {
    for (auto it = table.libraries.begin(); it != table.libraries.end();) {
        if (it->canUnloadNow && it->canUnloadNow() == S_OK) {
            ::dlclose(it->handle);
            it = table.libraries.erase(it);
        } else {
            ++it;
        }
    }
}

HRESULT callEntryPoint(const char* path, const char* name) {
    if (!path) return E_INVALIDARG;
    void* handle = nullptr;
    HRESULT hr = openLibrary(path, handle);
    if (FAILED(hr)) return hr;
    auto entry = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, name));
    hr = entry ? entry() : CO_E_ERRORINDLL;
    ::dlclose(handle);
    return hr;
}

} // namespace

HRESULT CoInitializeEx(void* reserved, DWORD coinit) {
    if (reserved) return E_INVALIDARG;
    constexpr DWORD known =
        COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (coinit & ~known) return E_INVALIDARG;
    const DWORD model = coinit & COINIT_APARTMENTTHREADED;
    if (tApartment.initCount > 0) {
        if (tApartment.model != model) return RPC_E_CHANGED_MODE;
        ++tApartment.initCount;
        return S_FALSE;
    }
    tApartment = {1, model};
    LibraryTable& table = libraryTable();
    std::lock_guard lock(table.mutex);
    ++table.apartments;
    return S_OK;
}

HRESULT CoInitialize(void* reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (tApartment.initCount == 0 || --tApartment.initCount > 0) return;
    LibraryTable& table = libraryTable();
    std::lock_guard lock(table.mutex);
    if (--table.apartments == 0) freeUnusedLocked(table);
}

HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID* clsid) {
    if (!clsid) return E_INVALIDARG;
    *clsid = GUID_NULL;
    if (!progid || !*progid) return CO_E_CLASSSTRING;
    try {
        const std::string name = tavrixrt::utf8FromUtf16(progid);
        if (!tavrixrt::RegistryTree::isValidKeyPath(name) || name.find('\\') != std::string::npos)
            return CO_E_CLASSSTRING;
        tavrixrt::RegistryTree registry;
        const HRESULT hr = tavrixrt::readRegistry(registry);
        if (FAILED(hr)) return hr;
        const auto value = registry.value(name + "\\CLSID");
        if (!value) return CO_E_CLASSSTRING;
        const std::u16string text = tavrixrt::utf16FromUtf8(*value);
        return SUCCEEDED(CLSIDFromString(text.c_str(), clsid)) ? S_OK : CO_E_CLASSSTRING;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*serverInfo*/, REFIID riid,
                         void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (tApartment.initCount == 0) return CO_E_NOTINITIALIZED;
    LibraryTable& table = libraryTable();
    std::lock_guard lock(table.mutex);
    return classObjectLocked(table, clsid, context, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (tApartment.initCount == 0) return CO_E_NOTINITIALIZED;
    LibraryTable& table = libraryTable();
    std::lock_guard lock(table.mutex);
    IClassFactory* factory = nullptr;
    HRESULT hr = classObjectLocked(table, clsid, context, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

void CoFreeUnusedLibraries() {
    LibraryTable& table = libraryTable();
    std::lock_guard lock(table.mutex);
    freeUnusedLocked(table);
}

HRESULT OleRun(IUnknown* object) {
    if (!object) return E_INVALIDARG;
    IRunnableObject* runnable = nullptr;
    if (FAILED(object->QueryInterface(IID_IRunnableObject, reinterpret_cast<void**>(&runnable))) ||
        !runnable)
        return S_OK; // an object that cannot be run is always running
    const HRESULT hr = runnable->Run(nullptr);
    runnable->Release();
    return hr;
}

HRESULT RegisterServerLibrary(const char* path) {
    return callEntryPoint(path, "DllRegisterServer");
}

HRESULT UnregisterServerLibrary(const char* path) {
    return callEntryPoint(path, "DllUnregisterServer");
}

namespace {

// The library's entry point writes through editRegistry(); for the length of the call that
// writes the chosen file.
HRESULT callEntryPointFor(const char* path, const char* name, DWORD registry) {
    if (registry != REGISTRY_USER && registry != REGISTRY_SYSTEM) return E_INVALIDARG;
    tavrixrt::setSystemRegistration(registry == REGISTRY_SYSTEM);
    const HRESULT hr = callEntryPoint(path, name);
    tavrixrt::setSystemRegistration(false);
    return hr;
}

} // namespace

HRESULT RegisterServerLibraryFor(const char* path, DWORD registry) {
    return callEntryPointFor(path, "DllRegisterServer", registry);
}

HRESULT UnregisterServerLibraryFor(const char* path, DWORD registry) {
    return callEntryPointFor(path, "DllUnregisterServer", registry);
}
