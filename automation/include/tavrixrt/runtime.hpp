// The runtime's client calls, exported with C linkage from libtavrixrt.so so that any language can
// bind them. Reference parameters (REFCLSID, REFIID) are plain pointers at the binary level.
#pragma once

#include <cstddef>

#include "tavrixrt/interfaces.hpp"

#define TAVRIXRT_API extern "C" TAVRIXRT_EXPORT

// ---- counted wide strings ----------------------------------------------------------------------

// Copies a NUL-terminated string; nullptr for a null argument or when memory runs out.
TAVRIXRT_API BSTR SysAllocString(const OLECHAR* text);
// Copies `length` characters (embedded NULs included); a null `text` gives `length` NULs.
TAVRIXRT_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
TAVRIXRT_API UINT SysStringLen(BSTR text);     // characters; 0 for nullptr
TAVRIXRT_API UINT SysStringByteLen(BSTR text); // bytes; 0 for nullptr
TAVRIXRT_API void SysFreeString(BSTR text);    // accepts nullptr

// ---- variants ----------------------------------------------------------------------------------

TAVRIXRT_API void VariantInit(VARIANT* v);
// Frees what the variant owns (string, interface reference) and leaves it VT_EMPTY.
TAVRIXRT_API HRESULT VariantClear(VARIANT* v);
TAVRIXRT_API HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts to VT_I2, VT_I4, VT_BOOL or VT_BSTR (by-reference sources are followed): integers,
// booleans, reals and decimal text convert to each other. Failures: DISP_E_TYPEMISMATCH,
// DISP_E_OVERFLOW, DISP_E_BADVARTYPE. `dest` may equal `src`.
TAVRIXRT_API HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

// ---- GUIDs -------------------------------------------------------------------------------------

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces required, hex digits of either case).
TAVRIXRT_API HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// Writes the braced form (39 characters with the NUL); returns the characters written including
// the NUL, or 0 when `max` is too small.
TAVRIXRT_API int StringFromGUID2(REFGUID guid, LPOLESTR out, int max);

// ---- apartments and objects --------------------------------------------------------------------

// Per thread, counted: S_OK for the first call, S_FALSE for further calls with the same model,
// RPC_E_CHANGED_MODE for a different one. Every successful call needs one CoUninitialize.
TAVRIXRT_API HRESULT CoInitializeEx(void* reserved, DWORD coinit);
TAVRIXRT_API HRESULT CoInitialize(void* reserved);
// When the last apartment of the process closes, libraries that allow it are unloaded.
TAVRIXRT_API void CoUninitialize();

// Looks up "<progid>\CLSID" in the registry; CO_E_CLASSSTRING when it is not there.
TAVRIXRT_API HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID* clsid);
// Finds "CLSID\{clsid}\InprocServer32" in the registry, loads that library, asks its
// DllGetClassObject for the class factory and the factory for an instance.
//   CO_E_NOTINITIALIZED          the thread has no apartment
//   REGDB_E_CLASSNOTREG          no registry file, class not registered, no in-process server
//                                entry, or `context` without CLSCTX_INPROC_SERVER
//   REGDB_E_READREGDB            the registry file is unreadable or damaged
//   HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)   the registered library does not exist
//   HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)  it exists but does not load
//   CO_E_ERRORINDLL              it does not export DllGetClassObject
//   and whatever the library's class factory answers (CLASS_E_CLASSNOTAVAILABLE,
//   CLASS_E_NOAGGREGATION, E_NOINTERFACE, E_OUTOFMEMORY).
TAVRIXRT_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                                      void** ppv);
TAVRIXRT_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID riid,
                                      void** ppv);
// Unloads every loaded server library whose DllCanUnloadNow answers S_OK.
TAVRIXRT_API void CoFreeUnusedLibraries();
// Puts an object into its running state; objects without IRunnableObject already are.
TAVRIXRT_API HRESULT OleRun(IUnknown* object);

// ---- registration ------------------------------------------------------------------------------

// Load a server library by path and call its DllRegisterServer / DllUnregisterServer. The
// registry file is the one the runtime uses (see registry.hpp).
TAVRIXRT_API HRESULT RegisterServerLibrary(const char* path);
TAVRIXRT_API HRESULT UnregisterServerLibrary(const char* path);
// The same for one registry: REGISTRY_USER (the user's file, as above) or REGISTRY_SYSTEM (the
// machine-wide file every user reads beneath their own).
inline constexpr DWORD REGISTRY_USER = 0;
inline constexpr DWORD REGISTRY_SYSTEM = 1;
TAVRIXRT_API HRESULT RegisterServerLibraryFor(const char* path, DWORD registry);
TAVRIXRT_API HRESULT UnregisterServerLibraryFor(const char* path, DWORD registry);

// ---- messages ----------------------------------------------------------------------------------

// The system's text for a status code, ending in CR LF like the platform's message table;
// nullptr when the runtime has no text for it. The caller frees it with SysFreeString.
TAVRIXRT_API BSTR FormatSystemMessage(HRESULT hr);
// The message a client shows for a status code: the system text without its trailing line
// break; else "IDispatch error #N" for codes above 0x80040200 up to 0x8004FFFF (N = code minus
// 0x80040200); else "Unknown error 0x%0lX". The caller frees it with SysFreeString.
TAVRIXRT_API BSTR FormatErrorMessage(HRESULT hr);

// ---- error information -------------------------------------------------------------------------

// A new, empty error object; fill it through ICreateErrorInfo and hand it on with SetErrorInfo
// after asking it for IErrorInfo.
TAVRIXRT_API HRESULT CreateErrorInfo(ICreateErrorInfo** info);
// Makes `info` (which may be null) this thread's error object, replacing any earlier one.
// `reserved` must be 0.
TAVRIXRT_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Hands over this thread's error object and clears it: S_OK with the object, S_FALSE with null
// when there is none. The caller releases it. `reserved` must be 0.
TAVRIXRT_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
