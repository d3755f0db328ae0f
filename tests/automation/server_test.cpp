// The server's object in-process, where the settings a client made can be read back: every slot
// and every dispatch identifier lands in its own field, with the conversions of its kind.
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <variant>

#include <sys/stat.h>

#include "automation_support.hpp"
#include "engine/server/tavrix_com_object.hpp"
#include "tavrix/members.hpp"
#include "tavrixrt/com_ptr.hpp"

using tavrix::ITavrixCom;
using tavrix::StampSettings;
using tavrix::TavrixComObject;
using tavrix_test::longValue;
using tavrix_test::textValue;
using tavrixrt::Bstr;
using tavrixrt::ComPtr;

namespace {

// Every field, so that a put that lands in the wrong field shows up as a difference.
std::string describe(const StampSettings& s) {
    std::ostringstream o;
    o << s.startPage << '|' << s.endPage << '|' << s.startNumber << '|' << s.endNumber << '|'
      << s.mask << '|' << s.nth << '|' << s.seq << s.reverse << s.onePageNo << s.up2 << s.ab2
      << s.rom << s.romUpper << '|' << s.importit << '|' << s.exportit << '|' << s.nopg << '|'
      << s.prefix << '|' << s.sep << '|' << s.end << '|' << s.font << '|' << s.fontfile << '|'
      << s.color << '|' << s.fontSize << '|' << s.fontAngle << '|' << s.noforce << '|' << s.posh
      << '|' << s.posv << '|' << s.flipv << s.fliph << '|' << s.align << '|' << s.renameoutput
      << '|' << s.opacity << '|' << s.CMYKcolor;
    return o.str();
}

ComPtr<ITavrixCom> createObject() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(tavrix::getClassObject(tavrix::CLSID_TavrixCom, IID_IClassFactory, factory.putVoid()),
              S_OK);
    ComPtr<ITavrixCom> object;
    EXPECT_EQ(factory->CreateInstance(nullptr, tavrix::IID_ITavrixCom, object.putVoid()), S_OK);
    return object;
}

const StampSettings& settingsOf(const ComPtr<ITavrixCom>& object) {
    return static_cast<TavrixComObject*>(object.get())->engine().settings();
}

// Calls vtable slot `slot` of `object` the way a C client does.
template <class Arg> HRESULT callSlot(ITavrixCom* object, int slot, Arg arg) {
    using Fn = HRESULT (*)(ITavrixCom*, Arg);
    void** table = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Fn>(table[slot])(object, arg);
}

HRESULT invokePut(ITavrixCom* object, DISPID dispid, VARIANT value, UINT* argErr = nullptr) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return object->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          argErr);
}

} // namespace

TEST(ServerObject, EverySlotAndEveryDispatchIdentifierSetsItsOwnField) {
    int slot = tavrix::kGetTavrixFileSlot + 1;
    for (const tavrix::PropertyInfo& p : tavrix::tavrixProperties()) {
        SCOPED_TRACE(std::string(p.name));
        ComPtr<ITavrixCom> bySlot = createObject();
        ComPtr<ITavrixCom> byDispid = createObject();
        tavrix::TavrixCom expected;
        if (p.type == tavrix::PropertyType::Long || p.type == tavrix::PropertyType::Flag) {
            const LONG value = 7000 + slot;
            EXPECT_EQ(callSlot(bySlot.get(), slot, value), S_OK);
            EXPECT_EQ(invokePut(byDispid.get(), p.dispid, longValue(value)), S_OK);
            expected.putLong(p.dispid, value);
        } else {
            const std::string value = "text of " + std::string(p.name);
            Bstr text(value);
            EXPECT_EQ(callSlot(bySlot.get(), slot, text.get()), S_OK);
            EXPECT_EQ(invokePut(byDispid.get(), p.dispid, textValue(text.get())), S_OK);
            expected.putText(p.dispid, value);
        }
        EXPECT_NE(describe(expected.settings()), describe(StampSettings{}));
        EXPECT_EQ(describe(settingsOf(bySlot)), describe(expected.settings()));
        EXPECT_EQ(describe(settingsOf(byDispid)), describe(expected.settings()));
        ++slot;
    }
    EXPECT_EQ(slot, tavrix::kGetTavrixFileSlot + 34);
}

// What a client gets before it sets anything: every member's default, as callers and stored
// scripts have always relied on it.
TEST(ServerObject, AFreshObjectHoldsEveryDefault) {
    const std::map<std::string, std::string> kDefaults = {
        {"startPage", "1"},  {"endPage", "99999"}, {"startNumber", "1"}, {"endNumber", "99999"},
        {"mask", "0"},       {"nth", "0"},         {"seq", "0"},         {"reverse", "0"},
        {"onePageNo", "0"},  {"up2", "0"},         {"ab2", "0"},         {"rom", "0"},
        {"romUpper", "0"},   {"importit", ""},     {"exportit", ""},     {"nopg", "0"},
        {"prefix", "Page "}, {"sep", " / "},       {"end", ""},          {"font", "Arial"},
        {"fontfile", ""},    {"color", "0"},       {"fontSize", "11"},   {"fontAngle", "0"},
        {"noforce", "0"},    {"posh", "20"},       {"posv", "10"},       {"flipv", "0"},
        {"fliph", "0"},      {"align", "left"},    {"renameoutput", ""}, {"opacity", "100"},
        {"CMYKcolor", "0"}};
    ComPtr<ITavrixCom> object = createObject();
    const StampSettings& s = settingsOf(object);
    std::map<std::string, std::string> held;
    for (const tavrix::PropertyInfo& p : tavrix::tavrixProperties()) {
        held[std::string(p.name)] = std::visit(
            [&](auto field) {
                std::ostringstream text;
                text << s.*field;
                return text.str();
            },
            p.field);
    }
    EXPECT_EQ(held, kDefaults);
    EXPECT_EQ(s.prefixUtf8, "Page ");
    EXPECT_EQ(s.sepUtf8, " / ");
}

TEST(ServerObject, FlagsStoreAnyNonZeroValueAsTrue) {
    ComPtr<ITavrixCom> object = createObject();
    const StampSettings& s = settingsOf(object);
    EXPECT_EQ(object->put_seq(2), S_OK);
    EXPECT_TRUE(s.seq);
    EXPECT_EQ(object->put_seq(0), S_OK);
    EXPECT_FALSE(s.seq);
    EXPECT_EQ(object->put_seq(-1), S_OK);
    EXPECT_TRUE(s.seq);
    VARIANT no;
    VariantInit(&no);
    no.vt = VT_BOOL;
    no.boolVal = VARIANT_FALSE;
    EXPECT_EQ(invokePut(object.get(), 12, no), S_OK);
    EXPECT_FALSE(s.seq);
    EXPECT_EQ(invokePut(object.get(), 34, longValue(INT32_MIN)), S_OK);
    EXPECT_TRUE(s.fliph);
}

TEST(ServerObject, PutByDispatchIdentifier22SetsThePrefixInWindows1252) {
    ComPtr<ITavrixCom> object = createObject();
    Bstr text("Seite \xE2\x80\x93 Caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5");
    EXPECT_EQ(invokePut(object.get(), 22, textValue(text.get())), S_OK);
    EXPECT_EQ(settingsOf(object).prefix, "Seite \x96 Caf\xE9 \x80 ?");
    // Paths keep their UTF-8.
    Bstr path("/tmp/\xC3\x9C"
              "bersicht.txt");
    EXPECT_EQ(object->put_importit(path.get()), S_OK);
    EXPECT_EQ(settingsOf(object).importit, "/tmp/\xC3\x9C"
                                           "bersicht.txt");
    // Text properties take numbers as their decimal text, long ones decimal text as numbers.
    EXPECT_EQ(invokePut(object.get(), 22, longValue(-5)), S_OK);
    EXPECT_EQ(settingsOf(object).prefix, "-5");
    Bstr number(" 12 ");
    EXPECT_EQ(invokePut(object.get(), 6, textValue(number.get())), S_OK);
    EXPECT_EQ(settingsOf(object).startPage, 12);
}

TEST(ServerObject, TextsSetOneAfterAnotherKeepTheirOwnValues) {
    ComPtr<ITavrixCom> object = createObject();
    const std::string longPrefix(5000, 'p');
    Bstr prefix(longPrefix), end("E"), importit("/i");
    ASSERT_EQ(object->put_prefix(prefix.get()), S_OK);
    ASSERT_EQ(object->put_end(end.get()), S_OK);
    ASSERT_EQ(object->put_importit(importit.get()), S_OK);
    EXPECT_EQ(settingsOf(object).prefix, longPrefix);
    EXPECT_EQ(settingsOf(object).end, "E");
    EXPECT_EQ(settingsOf(object).importit, "/i");
    EXPECT_EQ(object->put_sep(nullptr), S_OK); // a null string is the empty text
    EXPECT_EQ(settingsOf(object).sep, "");
}

TEST(ServerObject, MalformedInvocationsAreRefusedWithoutTouchingTheSettings) {
    ComPtr<ITavrixCom> object = createObject();
    const std::string before = describe(settingsOf(object));
    VARIANT arg = longValue(3);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&arg, &named, 1, 1};
    DISPPARAMS unnamed{&arg, nullptr, 1, 0};
    VARIANT two[2] = {arg, arg};
    DISPPARAMS twoArgs{two, &named, 2, 1};
    VARIANT result;
    VariantInit(&result);
    const auto invoke = [&](DISPID id, WORD flags, DISPPARAMS* params, VARIANT* out = nullptr,
                            UINT* argErr = nullptr) {
        return object->Invoke(id, IID_NULL, 0, flags, params, out, nullptr, argErr);
    };

    EXPECT_EQ(invoke(6, DISPATCH_PROPERTYGET, &put, &result), DISP_E_MEMBERNOTFOUND) << "put-only";
    EXPECT_EQ(invoke(6, DISPATCH_METHOD, &unnamed), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(6, DISPATCH_PROPERTYPUT, &unnamed), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(invoke(6, DISPATCH_PROPERTYPUT, &twoArgs), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(39, DISPATCH_PROPERTYPUT, &put), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(object->Invoke(6, tavrix::IID_ITavrixCom, 0, DISPATCH_PROPERTYPUT, &put, nullptr,
                             nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(invoke(6, DISPATCH_PROPERTYPUT, nullptr), E_INVALIDARG);
    DISPPARAMS broken{nullptr, &named, 1, 1};
    EXPECT_EQ(invoke(6, DISPATCH_PROPERTYPUT, &broken), E_INVALIDARG);

    Bstr word("twelve");
    UINT argErr = 99;
    EXPECT_EQ(invokePut(object.get(), 6, textValue(word.get()), &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    VARIANT huge;
    VariantInit(&huge);
    huge.vt = VT_R8;
    huge.dblVal = 1e12;
    EXPECT_EQ(invokePut(object.get(), 28, huge), DISP_E_OVERFLOW);

    // The method: three texts, no named arguments.
    EXPECT_EQ(invoke(5, DISPATCH_METHOD, &unnamed, &result), DISP_E_BADPARAMCOUNT);
    Bstr a("a");
    VARIANT texts[3] = {textValue(a.get()), textValue(a.get()), textValue(a.get())};
    DISPID names[1] = {0};
    DISPPARAMS withNames{texts, names, 3, 1};
    EXPECT_EQ(invoke(5, DISPATCH_METHOD, &withNames, &result), DISP_E_NONAMEDARGS);
    EXPECT_EQ(invoke(5, DISPATCH_PROPERTYPUT, &put, &result), DISP_E_MEMBERNOTFOUND);
    texts[0].vt = VT_NULL; // the last argument (m_params) cannot be text
    DISPPARAMS nullParam{texts, nullptr, 3, 0};
    argErr = 99;
    EXPECT_EQ(invoke(5, DISPATCH_METHOD, &nullParam, &result, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(describe(settingsOf(object)), before);
}

namespace {

// The description of the error object the last call left on this thread, or "(none)".
std::string takeErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK) return "(none)";
    Bstr text;
    EXPECT_EQ(info->GetDescription(text.put()), S_OK);
    GUID guid{};
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, tavrix::IID_ITavrixCom);
    return text.utf8();
}

std::string call(ITavrixCom* object, const std::string& in, const std::string& out) {
    Bstr input(in), output(out), params(""), result;
    EXPECT_EQ(object->getTavrixFile(input.get(), output.get(), params.get(), result.put()), S_OK);
    return result.utf8();
}

} // namespace

TEST(ServerObject, FailedJobsLeaveTheirReasonsOnTheThreadAndSuccessClearsThem) {
    tavrix_test::TempDir dir;
    ComPtr<ITavrixCom> object = createObject();
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(object.queryInterface(IID_ISupportErrorInfo, support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(tavrix::IID_ITavrixCom), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

    const std::string missing = dir.file("missing.pdf");
    EXPECT_EQ(call(object.get(), missing, dir.file("out.pdf")), "Stamp file issue\r\n");
    EXPECT_EQ(takeErrorDescription().rfind("cannot open '" + missing + "'", 0), 0u);

    // A list keeps one reason per failed line, in order, even when its last line succeeds.
    const std::string good = dir.file("good.pdf");
    tavrix_test::writeMinimalPdf(good, 2);
    const std::string list = dir.file("list.txt");
    tavrix_test::writeFile(list, "a.pdf\n" + good + "\nb.pdf\n" + good + "\n");
    EXPECT_EQ(call(object.get(), list, "-o" + dir.file("list-out.pdf")), "");
    const std::string reasons = takeErrorDescription();
    EXPECT_EQ(reasons, "cannot open 'a.pdf': No such file or directory\n"
                       "cannot open 'b.pdf': No such file or directory");

    // A call whose jobs all succeed clears what an earlier failure left.
    EXPECT_EQ(call(object.get(), missing, dir.file("out.pdf")), "Stamp file issue\r\n");
    EXPECT_EQ(call(object.get(), good, dir.file("out.pdf")), "");
    EXPECT_EQ(takeErrorDescription(), "(none)");

    // The cause names what the user typed wrong.
    ASSERT_EQ(object->put_font(Bstr(std::string("Ariel")).get()), S_OK);
    EXPECT_EQ(call(object.get(), good, dir.file("out.pdf")), "Stamp file issue\r\n");
    EXPECT_EQ(takeErrorDescription().rfind("unknown font name 'Ariel'", 0), 0u);
}
