// The runtime on its own: counted strings, text conversion, GUIDs, variants, messages, apartments.
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "automation_support.hpp"
#include "tavrixrt/com_ptr.hpp"
#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"

using tavrix_test::hex;
using tavrixrt::Bstr;

namespace {

std::string message(HRESULT hr) {
    Bstr text;
    *text.put() = FormatErrorMessage(hr);
    return text.utf8();
}

} // namespace

TEST(Bstr, LengthPrefixSitsBeforeTheCharactersAndANulFollows) {
    const char16_t chars[] = u"ab\0cd"; // embedded NUL is part of the string
    BSTR s = SysAllocStringLen(chars, 5);
    ASSERT_NE(s, nullptr);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 10u);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    EXPECT_EQ(s[2], 0);
    EXPECT_EQ(s[5], 0); // terminator
    EXPECT_EQ(std::u16string_view(s, 5), std::u16string_view(chars, 5));
    SysFreeString(s);
}

TEST(Bstr, NullAndEmptyStrings) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr); // empty is a real string, not a null one
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    BSTR zeros = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(zeros[0] | zeros[1] | zeros[2] | zeros[3], 0);
    SysFreeString(zeros);
}

TEST(Bstr, LengthBeyondTheByteCountIsRefused) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, NonAsciiRoundTripsThroughUtf8) {
    const std::string texts[] = {"Seite 3 \xE2\x80\x93 Caf\xC3\xA9",     // en dash, e acute
                                 "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", // CJK
                                 "\xDF\xBF \xE0\xA0\x80", // U+07FF, U+0800: two and three bytes
                                 "\xF0\x9F\x93\x84 page", // outside the BMP: a surrogate pair
                                 std::string("nul\0inside", 10),
                                 ""};
    for (const std::string& text : texts) {
        Bstr b(text);
        ASSERT_NE(b.get(), nullptr);
        EXPECT_EQ(b.utf8(), text);
    }
    Bstr pair("\xF0\x9F\x93\x84");
    ASSERT_EQ(pair.length(), 2u);
    EXPECT_EQ(pair.get()[0], 0xD83D);
    EXPECT_EQ(pair.get()[1], 0xDCC4);
}

TEST(Utf8, BytesThatAreNotUtf8SurviveTheRoundTrip) {
    using tavrixrt::utf16FromUtf8;
    using tavrixrt::utf8FromUtf16;
    EXPECT_EQ(utf16FromUtf8("a\xFF"
                            "b"),
              u"a\xDCFF"
              u"b");
    EXPECT_EQ(utf16FromUtf8("\xC3"), u"\xDCC3"); // truncated at the end
    EXPECT_EQ(utf16FromUtf8("\xE2\x82"
                            "x"),
              u"\xDCE2\xDC82"
              u"x");                                                 // truncated in the middle
    EXPECT_EQ(utf16FromUtf8("\xC0\xAF"), u"\xDCC0\xDCAF");           // overlong form
    EXPECT_EQ(utf16FromUtf8("\xE0\x80\xAF"), u"\xDCE0\xDC80\xDCAF"); // overlong in three bytes
    EXPECT_EQ(utf16FromUtf8("\xED\xA0\x80").size(), 3u);             // encoded surrogate
    EXPECT_EQ(utf16FromUtf8("\xF4\x90\x80\x80").size(), 4u);         // beyond U+10FFFF
    // A Latin-1 file name, and every byte value, come back unchanged.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    for (const std::string& bytes :
         {std::string("/tmp/R\xE9sum\xE9.pdf"), all, std::string("\xED\xB2\x80\xF0\x9F")}) {
        EXPECT_EQ(utf8FromUtf16(utf16FromUtf8(bytes)), bytes);
        Bstr b(bytes);
        EXPECT_EQ(b.utf8(), bytes);
    }
    // Unpaired surrogates that are not escapes become U+FFFD.
    EXPECT_EQ(utf8FromUtf16(u"x\xD800y"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(utf8FromUtf16(std::u16string(1, 0xDC00)), "\xEF\xBF\xBD");
    EXPECT_EQ(utf8FromUtf16(std::u16string(1, 0xDC80)), "\x80");
}

TEST(Guid, TextRoundTripAndMalformedForms) {
    const GUID g{0x989C7933, 0x275B, 0x411B, {0xBC, 0x82, 0xF3, 0xFB, 0x85, 0xB5, 0xED, 0x4C}};
    OLECHAR text[39];
    ASSERT_EQ(StringFromGUID2(g, text, 39), 39);
    EXPECT_EQ(std::u16string_view(text), u"{989C7933-275B-411B-BC82-F3FB85B5ED4C}");
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
    CLSID back{};
    EXPECT_EQ(CLSIDFromString(u"{989c7933-275b-411b-bc82-f3fb85b5ed4c}", &back), S_OK);
    EXPECT_EQ(back, g);
    for (const char16_t* bad :
         {u"", u"{989C7933-275B-411B-BC82-F3FB85B5ED4C", u"989C7933-275B-411B-BC82-F3FB85B5ED4C",
          u"{989C7933-275B-411B-BC82-F3FB85B5ED4G}", u"{989C7933-275B-411B-BC82-F3FB85B5ED4C}x",
          u"{989C7933+275B-411B-BC82-F3FB85B5ED4C}"})
        EXPECT_EQ(CLSIDFromString(bad, &back), CO_E_CLASSSTRING) << tavrixrt::utf8FromUtf16(bad);
    EXPECT_EQ(CLSIDFromString(nullptr, &back), CO_E_CLASSSTRING);
}

TEST(Variant, CoercionsToLong) {
    auto var = [](VARTYPE vt, auto set) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        set(v);
        return v;
    };
    Bstr minus(" -42 "), huge("99999999999");
    LONG target = 1234;
    const struct {
        const char* what;
        VARIANT v;
        HRESULT hr;
        LONG out;
    } cases[] = {
        {"I2", var(VT_I2, [](VARIANT& v) { v.iVal = -7; }), S_OK, -7},
        {"BOOL", var(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), S_OK, -1},
        {"R8 half to even", var(VT_R8, [](VARIANT& v) { v.dblVal = 2.5; }), S_OK, 2},
        {"R8 too large", var(VT_R8, [](VARIANT& v) { v.dblVal = 3e10; }), DISP_E_OVERFLOW, 0},
        {"UI4 too large", var(VT_UI4, [](VARIANT& v) { v.ulVal = 0x80000000u; }), DISP_E_OVERFLOW,
         0},
        {"I8 lowest", var(VT_I8, [](VARIANT& v) { v.llVal = INT32_MIN; }), S_OK, INT32_MIN},
        {"I8 one too large", var(VT_I8, [](VARIANT& v) { v.llVal = 0x80000000LL; }),
         DISP_E_OVERFLOW, 0},
        {"I8 whose low half fits", var(VT_I8, [](VARIANT& v) { v.llVal = 0x100000005LL; }),
         DISP_E_OVERFLOW, 0},
        {"I8 most negative", var(VT_I8, [](VARIANT& v) { v.llVal = INT64_MIN; }), DISP_E_OVERFLOW,
         0},
        {"UI8", var(VT_UI8, [](VARIANT& v) { v.ullVal = 7; }), S_OK, 7},
        {"UI8 beyond 63 bits", var(VT_UI8, [](VARIANT& v) { v.ullVal = UINT64_MAX; }),
         DISP_E_OVERFLOW, 0},
        {"NULL", var(VT_NULL, [](VARIANT&) {}), DISP_E_TYPEMISMATCH, 0},
        {"text", var(VT_BSTR, [&](VARIANT& v) { v.bstrVal = minus.get(); }), S_OK, -42},
        {"text too large", var(VT_BSTR, [&](VARIANT& v) { v.bstrVal = huge.get(); }),
         DISP_E_OVERFLOW, 0},
        {"by reference", var(VT_I4 | VT_BYREF, [&](VARIANT& v) { v.plVal = &target; }), S_OK, 1234},
        {"null reference", var(VT_I4 | VT_BYREF, [](VARIANT& v) { v.byref = nullptr; }),
         DISP_E_BADVARTYPE, 0},
    };
    for (const auto& c : cases) {
        VARIANT r;
        VariantInit(&r);
        EXPECT_EQ(VariantChangeType(&r, &c.v, 0, VT_I4), c.hr) << c.what;
        EXPECT_EQ(c.hr == S_OK ? r.lVal : 0, c.out) << c.what;
    }
    for (const char* bad : {"", "12abc", "nan", "+-1", "0x10"}) {
        Bstr b(bad);
        VARIANT v = var(VT_BSTR, [&](VARIANT&v) { v.bstrVal = b.get(); }), r;
        VariantInit(&r);
        EXPECT_EQ(VariantChangeType(&r, &v, 0, VT_I4), DISP_E_TYPEMISMATCH) << bad;
    }
}

TEST(Variant, CoercionsToTextAndInPlace) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4, v.lVal = -15;
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK); // destination may be the source
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(tavrixrt::utf8FromBstr(v.bstrVal), "-15");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, -15);
    v.vt = VT_I4, v.lVal = 40000;
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(v.vt, VT_I4); // untouched after a failure

    VARIANT copy;
    VariantInit(&copy);
    v.vt = VT_BSTR;
    v.bstrVal = tavrixrt::bstrFromUtf8("\xC3\xBC");
    ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
    EXPECT_NE(copy.bstrVal, v.bstrVal); // a deep copy
    EXPECT_EQ(tavrixrt::utf8FromBstr(copy.bstrVal), "\xC3\xBC");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(copy.vt, VT_EMPTY);
}

TEST(Messages, SystemTextFallbacksAndTrailingLineBreak) {
    Bstr system;
    *system.put() = FormatSystemMessage(REGDB_E_CLASSNOTREG);
    EXPECT_EQ(system.utf8(), "Class not registered.\r\n");
    EXPECT_EQ(message(REGDB_E_CLASSNOTREG), "Class not registered.");
    EXPECT_EQ(message(E_POINTER), "Invalid pointer.");
    EXPECT_EQ(FormatSystemMessage(makeHresult(0x80040201u)), nullptr);
    EXPECT_EQ(message(makeHresult(0x80040201u)), "IDispatch error #1");
    EXPECT_EQ(message(makeHresult(0x8004FFFFu)), "IDispatch error #65023");
    // 0x80040200 itself is not above the boundary.
    EXPECT_EQ(message(makeHresult(0x80040200u)), "Unknown error 0x80040200");
    EXPECT_EQ(message(makeHresult(0x80050000u)), "Unknown error 0x80050000");
    EXPECT_EQ(message(makeHresult(0x8007FFFFu)), "Unknown error 0x8007FFFF");
    EXPECT_EQ(message(5), "Unknown error 0x5");
}

TEST(Apartments, InitialisationIsCountedPerThreadAndModelsDoNotMix) {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    std::thread([] {
        // Another thread has no apartment until it makes one, of any model.
        void* p = nullptr;
        EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
    CoUninitialize();
    CoUninitialize();
    CoUninitialize(); // one too many is harmless
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
    EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
}

TEST(ErrorInfo, TheThreadsObjectIsHandedOverOnceAndStaysOnItsThread) {
    tavrixrt::ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(create.put()), S_OK);
    std::u16string text = u"cannot open 'caf\u00e9.pdf': No such file or directory";
    ASSERT_EQ(create->SetDescription(text.data()), S_OK);
    ASSERT_EQ(create->SetGUID(IID_IDispatch), S_OK);
    tavrixrt::ComPtr<IErrorInfo> info;
    ASSERT_EQ(create.queryInterface(IID_IErrorInfo, info), S_OK);
    ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);

    // Another thread has none of its own.
    std::thread([] {
        IErrorInfo* other = reinterpret_cast<IErrorInfo*>(1);
        EXPECT_EQ(GetErrorInfo(0, &other), S_FALSE);
        EXPECT_EQ(other, nullptr);
    }).join();

    tavrixrt::ComPtr<IErrorInfo> taken;
    ASSERT_EQ(GetErrorInfo(0, taken.put()), S_OK);
    EXPECT_EQ(taken.get(), info.get());
    Bstr description;
    ASSERT_EQ(taken->GetDescription(description.put()), S_OK);
    EXPECT_EQ(std::u16string(description.get(), description.length()), text);
    GUID guid{};
    EXPECT_EQ(taken->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IDispatch);
    // Taking it clears the slot; setting null clears it too.
    EXPECT_EQ(GetErrorInfo(0, taken.put()), S_FALSE);
    EXPECT_EQ(SetErrorInfo(0, info.get()), S_OK);
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(GetErrorInfo(0, taken.put()), S_FALSE);
    EXPECT_EQ(GetErrorInfo(1, taken.put()), E_INVALIDARG);
}
