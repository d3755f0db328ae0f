// The four functions every in-process automation server exports with C linkage. The runtime finds
// them by name with dlsym; the work is done in tavrix_com_object.cpp.
#include "engine/server/server_module.hpp"
#include "engine/server/tavrix_com_object.hpp"

#define TAVRIX_ENTRY_POINT extern "C" __attribute__((visibility("default")))

// The class factory of TavrixCom; CLASS_E_CLASSNOTAVAILABLE for any other class.
TAVRIX_ENTRY_POINT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return tavrix::getClassObject(clsid, riid, ppv);
}

// S_OK only when no object of the library is alive and no client locks its class factory.
TAVRIX_ENTRY_POINT HRESULT DllCanUnloadNow() {
    return tavrix::server::canUnloadNow();
}

// Writes the ProgIDs, the class, its in-process server path and the type library into the
// registry file.
TAVRIX_ENTRY_POINT HRESULT DllRegisterServer() {
    return tavrix::registerServer();
}

// Removes what DllRegisterServer wrote, except the shared roots.
TAVRIX_ENTRY_POINT HRESULT DllUnregisterServer() {
    return tavrix::unregisterServer();
}
