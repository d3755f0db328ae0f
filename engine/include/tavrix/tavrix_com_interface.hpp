// ITavrixCom as clients see it: the class, interface and type library identifiers and the
// interface's slots. A client includes this header and the runtime's, links libtavrixrt.so and
// creates the engine by CLSID_TavrixCom or the ProgID "Tavrix.TavrixCom"; it never links the
// engine itself.
#pragma once

#include "tavrix/members.hpp"
#include "tavrixrt/interfaces.hpp"

namespace tavrix {

// {989C7933-275B-411B-BC82-F3FB85B5ED4C}
inline constexpr CLSID CLSID_TavrixCom{
    0x989C7933, 0x275B, 0x411B, {0xBC, 0x82, 0xF3, 0xFB, 0x85, 0xB5, 0xED, 0x4C}};
// {40AA1C1A-52B9-456F-ABE3-C6A97C89F7B5}
inline constexpr IID IID_ITavrixCom{
    0x40AA1C1A, 0x52B9, 0x456F, {0xAB, 0xE3, 0xC6, 0xA9, 0x7C, 0x89, 0xF7, 0xB5}};
// {0023C2D1-EB9F-48DB-8DC8-455CFCE76464}
inline constexpr GUID LIBID_TavrixLib{
    0x0023C2D1, 0xEB9F, 0x48DB, {0x8D, 0xC8, 0x45, 0x5C, 0xFC, 0xE7, 0x64, 0x64}};

inline constexpr const char* kTavrixProgId = "Tavrix.TavrixCom";
inline constexpr const char* kTavrixVersionedProgId = "Tavrix.TavrixCom.1";

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Dual interface: every member is reachable through its slot and through IDispatch::Invoke with
// the dispatch identifier noted beside it. All properties are put-only and always succeed; texts
// are UTF-16 and are converted by the engine (stamped texts to Windows-1252, paths to UTF-8).
struct ITavrixCom : IDispatch {
    // dispid 5. Stamps one PDF file or every file of a ".txt" list. Always S_OK; *pVal receives a
    // new string the caller frees: empty on success, else the failure message.
    virtual HRESULT getTavrixFile(BSTR m_intputFile, BSTR m_outputFile, BSTR m_params,
                                  BSTR* pVal) = 0;
    virtual HRESULT put_startPage(LONG newVal) = 0;    // 6
    virtual HRESULT put_endPage(LONG newVal) = 0;      // 7
    virtual HRESULT put_startNumber(LONG newVal) = 0;  // 8
    virtual HRESULT put_endNumber(LONG newVal) = 0;    // 9
    virtual HRESULT put_mask(LONG newVal) = 0;         // 10
    virtual HRESULT put_nth(LONG newVal) = 0;          // 11
    virtual HRESULT put_seq(LONG newVal) = 0;          // 12, flag
    virtual HRESULT put_reverse(LONG newVal) = 0;      // 13, flag
    virtual HRESULT put_onePageNo(LONG newVal) = 0;    // 14, flag
    virtual HRESULT put_up2(LONG newVal) = 0;          // 15, flag
    virtual HRESULT put_ab2(LONG newVal) = 0;          // 16, flag
    virtual HRESULT put_rom(LONG newVal) = 0;          // 17, flag
    virtual HRESULT put_romUpper(LONG newVal) = 0;     // 18, flag
    virtual HRESULT put_importit(BSTR newVal) = 0;     // 19
    virtual HRESULT put_exportit(BSTR newVal) = 0;     // 20
    virtual HRESULT put_nopg(LONG newVal) = 0;         // 21, flag
    virtual HRESULT put_prefix(BSTR newVal) = 0;       // 22
    virtual HRESULT put_sep(BSTR newVal) = 0;          // 23
    virtual HRESULT put_end(BSTR newVal) = 0;          // 24
    virtual HRESULT put_font(BSTR newVal) = 0;         // 25
    virtual HRESULT put_fontfile(BSTR newVal) = 0;     // 26
    virtual HRESULT put_color(LONG newVal) = 0;        // 27
    virtual HRESULT put_fontSize(LONG newVal) = 0;     // 28
    virtual HRESULT put_fontAngle(LONG newVal) = 0;    // 29
    virtual HRESULT put_noforce(LONG newVal) = 0;      // 30, flag
    virtual HRESULT put_posh(LONG newVal) = 0;         // 31
    virtual HRESULT put_posv(LONG newVal) = 0;         // 32
    virtual HRESULT put_flipv(LONG newVal) = 0;        // 33, flag
    virtual HRESULT put_fliph(LONG newVal) = 0;        // 34, flag
    virtual HRESULT put_align(BSTR newVal) = 0;        // 35
    virtual HRESULT put_renameoutput(BSTR newVal) = 0; // 36
    virtual HRESULT put_opacity(LONG newVal) = 0;      // 37
    virtual HRESULT put_CMYKcolor(LONG newVal) = 0;    // 38
};

#pragma GCC diagnostic pop

} // namespace tavrix
