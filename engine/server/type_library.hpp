// The type library "TavrixLib" 1.0: the members of ITavrixCom with their dispatch identifiers,
// kinds, parameters and help strings, and the coclass TavrixCom. It is data compiled into the
// library and handed to clients as ITypeInfo / ITypeLib objects.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tavrixrt/interfaces.hpp"

namespace tavrix {

inline constexpr const char* kTypeLibraryName = "TavrixLib";
inline constexpr const char* kTypeLibraryHelp = "Tavrix 1.0 Type Library";
inline constexpr const char* kClassName = "TavrixCom";
inline constexpr const char* kClassHelp = "TavrixCom Class";
inline constexpr const char* kInterfaceName = "ITavrixCom";
inline constexpr const char* kInterfaceHelp = "ITavrixCom Interface";
inline constexpr WORD kTypeLibraryMajor = 1;
inline constexpr WORD kTypeLibraryMinor = 0;

struct ParameterDescription {
    std::string_view name;
    VARTYPE vt;   // VT_I4 or VT_BSTR; the out-value of the method is a VT_BSTR pointer
    USHORT flags; // PARAMFLAG_*
};

struct MemberDescription {
    std::string_view name;
    DISPID dispid;
    INVOKEKIND kind; // INVOKE_FUNC for getTavrixFile, INVOKE_PROPERTYPUT for the properties
    int slot;        // vtable slot, counting IDispatch's seven
    std::string help;
    std::vector<ParameterDescription> parameters; // as declared, the out-value last
};

// The 34 members in slot order.
std::span<const MemberDescription> interfaceMembers();
// Case-insensitive, as automation clients bind names; nullptr when unknown.
const MemberDescription* findMember(std::string_view name);
const MemberDescription* findMember(DISPID dispid);

// GetIDsOfNames of ITavrixCom: names[0] is a member, further names are its parameters (numbered
// from 0 in declaration order). Unknown names get DISPID_UNKNOWN and DISP_E_UNKNOWNNAME.
HRESULT idsOfNames(LPOLESTR* names, UINT count, DISPID* ids);

// ITypeInfo of ITavrixCom (dispatch view) and of the coclass TavrixCom; the type library.
HRESULT createInterfaceTypeInfo(ITypeInfo** info);
HRESULT createClassTypeInfo(ITypeInfo** info);
HRESULT createTypeLibrary(ITypeLib** lib);

} // namespace tavrix
