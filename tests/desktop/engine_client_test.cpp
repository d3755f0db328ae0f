// Apply Text against a recording engine: assignment order, conversions, messages and failures.
#include <gtest/gtest.h>

#include "desktop/model/engine_client.hpp"
#include "fakes.hpp"

namespace folvane {
namespace {

using testing::EngineCall;
using testing::FakePlatform;
using testing::FakeRuntime;

class EngineClientTest : public ::testing::Test {
  protected:
    FakePlatform platform;
    FakeRuntime runtime;
    TokenExpander expander = testing::fixedExpander();

    PageParameters stampable() {
        PageParameters p;
        p.inputPath = "/in/report.pdf";
        p.outputPath = "/out/stamped.pdf";
        return p;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& c : runtime.calls)
            out.push_back(c.name);
        return out;
    }
    const EngineCall& call(const std::string& name) const {
        for (const auto& c : runtime.calls)
            if (c.name == name) return c;
        static EngineCall none{"<none>", 0, {}};
        return none;
    }
};

TEST_F(EngineClientTest, SetsEveryPropertyInOrderThenStamps) {
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    ASSERT_TRUE(client.open());
    PageParameters p = stampable();
    p.prefixText = "[FILETITLE] p.";
    p.separatorText = " [YYYY] ";
    p.endText = "!";
    p.fontSize = 11.99;
    p.shown.vertical = -0.5;
    p.shown.horizontal = -1;
    p.shown.fromTop = true;
    p.forcePortrait = false;
    p.romanLower = true;
    p.textColor = makeColor(0x11, 0x22, 0x33);
    p.cmykC = 50; // remembered from an earlier CMYK choice, but CMYK is off
    p.angleDegrees = 90;
    p.opacityPercent = 40;
    client.applyText(p);

    const std::vector<std::string> expected{
        "startPage", "endPage", "startNumber", "endNumber", "mask",     "nth",
        "onePageNo", "seq",     "up2",         "ab2",       "nopg",     "romUpper",
        "rom",       "noforce", "reverse",     "font",      "fontSize", "fontAngle",
        "opacity",   "color",   "CMYKcolor",   "fliph",     "flipv",    "posv",
        "posh",      "prefix",  "sep",         "end",       "align",    "getTavrixFile"};
    EXPECT_EQ(names(), expected);
    EXPECT_EQ(call("fontSize").value, 11);
    EXPECT_EQ(call("posv").value, 0);
    EXPECT_EQ(call("posh").value, -1);
    EXPECT_EQ(call("flipv").value, 1);
    EXPECT_EQ(call("noforce").value, 1);
    EXPECT_EQ(call("rom").value, 1);
    EXPECT_EQ(call("fontAngle").value, 90);
    EXPECT_EQ(call("opacity").value, 40);
    EXPECT_EQ(call("color").value, 0x112233);
    EXPECT_EQ(call("CMYKcolor").value, 0);
    EXPECT_EQ(call("font").text, "Arial");
    EXPECT_EQ(call("prefix").text, "report p.");
    EXPECT_EQ(call("sep").text, " 2026 ");
    EXPECT_EQ(call("align").text, "left");
    EXPECT_EQ(call("getTavrixFile").text, "/in/report.pdf|/out/stamped.pdf|");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Done!\n\nOutput file: /out/stamped.pdf\n\n");
    EXPECT_EQ(platform.messages[0].caption, "Folvane");

    runtime.calls.clear();
    p.useCmyk = true;
    p.cmykC = 100, p.cmykM = 50, p.cmykY = 0, p.cmykK = 1;
    client.applyText(p);
    EXPECT_EQ(call("CMYKcolor").value, static_cast<int32_t>(0xFF800003));
}

TEST_F(EngineClientTest, AlignIsLeftUntouchedWhenNoFlagIsSet) {
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    client.open();
    PageParameters p = stampable();
    p.shown.alignLeft = false;
    client.applyText(p);
    EXPECT_EQ(call("align").name, "<none>");
    runtime.calls.clear();
    p.shown.alignRight = p.shown.alignCenter = true;
    client.applyText(p);
    EXPECT_EQ(call("align").text, "right");
}

TEST_F(EngineClientTest, EmptyPathsStopBeforeTheEngine) {
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    client.open();
    PageParameters p;
    client.applyText(p);
    EXPECT_EQ(platform.texts(), std::vector<std::string>{"No input filename specified"});
    p.inputPath = "in.pdf";
    client.applyText(p);
    EXPECT_EQ(platform.texts().back(), "No output filename specified");
    EXPECT_TRUE(runtime.calls.empty());
}

TEST_F(EngineClientTest, StoresTheShownPositionIntoTheSelectedSet) {
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    client.open();
    PageParameters p = stampable();
    p.shown = {"Top Left", 780, 20, false, false, true, false, false};
    p.applyToAll = false;
    p.applyToEven = true;
    const PositionSet allOdd = p.allOdd;
    client.applyText(p);
    EXPECT_EQ(p.even, p.shown);
    EXPECT_EQ(p.allOdd, allOdd);
    EXPECT_EQ(call("posv").value, 780);
}

TEST_F(EngineClientTest, FailuresAreErrorsWithTheirReason) {
    struct Case {
        const char* what;
        std::string failOn;       // a property whose assignment fails
        HResult methodResult;     // what getTavrixFile answers
        std::string resultText;   // its result text
        std::string reasonText;   // the engine's reason
        std::string expectedText; // the message shown
        Tone expectedTone;
    };
    const HResult general = static_cast<HResult>(0x80004005);
    const std::vector<Case> cases{
        {"setter fails", "fontSize", kOk, "", "", "IDispatch error #3", Tone::Error},
        {"method fails", "", general, "", "", "Unspecified error", Tone::Error},
        {"run fails with a reason", "", kOk, "Stamp file issue\r\n",
         "cannot write '/out/stamped.pdf': Permission denied\n",
         "Stamping failed.\n\ncannot write '/out/stamped.pdf': Permission denied\n\nOutput "
         "file: /out/stamped.pdf",
         Tone::Error},
        {"run fails without a reason", "", kOk, "Stamp file issue\r\n", "",
         "Stamping failed.\n\nStamp file issue\n\nOutput file: /out/stamped.pdf", Tone::Error},
        {"a list's earlier file failed", "", kOk, "", "'b.pdf' is encrypted",
         "Stamping failed.\n\n'b.pdf' is encrypted\n\nOutput file: /out/stamped.pdf", Tone::Error},
        {"success", "", kOk, "", "", "Done!\n\nOutput file: /out/stamped.pdf\n\n",
         Tone::Information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform.messages.clear();
        runtime.calls.clear();
        runtime.configure = [&c](testing::RecordingEngine& e) {
            e.failOn = c.failOn;
            e.failure = static_cast<HResult>(0x80040203);
            e.methodResult = c.methodResult;
            e.resultText = c.resultText;
            e.reasonText = c.reasonText;
        };
        runtime.knownMessages = {{general, "Unspecified error"},
                                 {static_cast<HResult>(0x80040203), "IDispatch error #3"}};
        EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
        ASSERT_TRUE(client.open());
        PageParameters p = stampable();
        EXPECT_TRUE(client.applyText(p));
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, c.expectedText);
        EXPECT_EQ(platform.messages[0].tone, c.expectedTone);
        if (!c.failOn.empty()) {
            EXPECT_EQ(names().back(), c.failOn);
        }
    }
}

TEST_F(EngineClientTest, AProtectedOrDamagedInputIsOfferedTheWayInAndStampedAgain) {
    using tavrix::FailureKind;
    struct Case {
        const char* what;
        // What the engine says of each call in turn: the kind of its failure, or Other for a
        // stamped file.
        std::vector<FailureKind> answers;
        std::deque<std::optional<std::string>> passwords;
        std::deque<Answer> questions;
        std::vector<std::string> params;   // what each call was given
        std::vector<std::string> captions; // of every message shown
        std::string last;                  // the last message shown
    };
    const std::string done = "Done!\n\nOutput file: /out/stamped.pdf\n\n";
    const std::vector<Case> cases{
        {"password typed",
         {FailureKind::PasswordNeeded, FailureKind::Other},
         {"s;cr\\t"},
         {},
         {"", "password=s\\;cr\\\\t;"},
         {"Folvane", "Folvane"},
         done},
        {"empty password typed",
         {FailureKind::PasswordNeeded, FailureKind::Other},
         {""},
         {},
         {"", "password=;"},
         {"Folvane", "Folvane"},
         done},
        {"wrong password, then the question again, cancelled",
         {FailureKind::PasswordNeeded, FailureKind::PasswordNeeded},
         {"nope", std::nullopt},
         {},
         {"", "password=nope;"},
         {"Folvane", "Folvane: that password does not open it"},
         kPasswordPrompt},
        {"the user password does not allow changes",
         {FailureKind::PasswordNeeded, FailureKind::OwnerPasswordNeeded, FailureKind::Other},
         {"user", "owner"},
         {},
         {"", "password=user;", "password=owner;"},
         {"Folvane", "Folvane: changes need the owner password", "Folvane"},
         done},
        {"password question cancelled",
         {FailureKind::PasswordNeeded},
         {std::nullopt},
         {},
         {""},
         {"Folvane"},
         kPasswordPrompt},
        {"repair agreed",
         {FailureKind::RepairNeeded, FailureKind::Other},
         {},
         {Answer::Yes},
         {"", "repair=1;"},
         {"Folvane", "Folvane"},
         done},
        {"repair declined",
         {FailureKind::RepairNeeded},
         {},
         {Answer::No},
         {""},
         {"Folvane"},
         kRepairPrompt},
        {"a repaired file still refused is not offered a repair again",
         {FailureKind::RepairNeeded, FailureKind::RepairNeeded},
         {},
         {Answer::Yes},
         {"", "repair=1;"},
         {"Folvane", "Folvane: stamping failed"},
         "Stamping failed.\n\nbroken\n\nOutput file: /out/stamped.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform.messages.clear();
        platform.passwords = c.passwords;
        platform.answers = std::deque<Answer>(c.questions.begin(), c.questions.end());
        std::vector<std::string> params;
        size_t call = 0;
        runtime.configure = [&](testing::RecordingEngine& e) {
            e.onStamp = [&](const std::string&, const std::string& given) {
                params.push_back(given);
                const FailureKind kind = c.answers.at(std::min(call++, c.answers.size() - 1));
                e.kind = kind;
                e.resultText = kind == FailureKind::Other ? "" : "Stamp file issue\r\n";
                e.reasonText = kind == FailureKind::Other ? "" : "broken";
            };
        };
        EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
        ASSERT_TRUE(client.open());
        PageParameters p = stampable();
        EXPECT_TRUE(client.applyText(p));
        EXPECT_EQ(params, c.params);
        std::vector<std::string> captions;
        for (const auto& m : platform.messages)
            captions.push_back(m.caption);
        EXPECT_EQ(captions, c.captions);
        ASSERT_FALSE(platform.messages.empty());
        EXPECT_EQ(platform.messages.back().text, c.last);
        // Nothing is left running: the next Apply starts.
        EXPECT_FALSE(client.stamping());
    }

    // What opened a file is kept for it: the next Apply asks with it at once.
    platform.messages.clear();
    platform.passwords = {"pw"};
    std::vector<std::string> params;
    runtime.configure = [&](testing::RecordingEngine& e) {
        e.onStamp = [&](const std::string&, const std::string& given) {
            params.push_back(given);
            const bool open = given == "password=pw;";
            e.kind = open ? FailureKind::Other : FailureKind::PasswordNeeded;
            e.resultText = open ? "" : "Stamp file issue\r\n";
        };
    };
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    ASSERT_TRUE(client.open());
    PageParameters p = stampable();
    client.applyText(p);
    client.applyText(p);
    EXPECT_EQ(params, (std::vector<std::string>{"", "password=pw;", "password=pw;"}));
    EXPECT_EQ(platform.messages.size(), 3u); // one question, two results
}

TEST_F(EngineClientTest, OpenFailures) {
    runtime.createResult = kNoInterface;
    {
        EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
        EXPECT_TRUE(client.open()); // no such interface: silently empty
        EXPECT_FALSE(client.hasEngine());
        PageParameters p = stampable();
        client.applyText(p);
        EXPECT_EQ(platform.texts(), std::vector<std::string>{"error 0x80004003"});
    }
    EXPECT_EQ(runtime.initializeCount, runtime.uninitializeCount);

    struct Case {
        HResult code;
        std::string message;
    } cases[] = {
        {kClassNotRegistered, "The stamping engine is not registered. Run: tavrix --register"},
        {static_cast<HResult>(0x8007007E), "The specified module could not be found."},
    };
    runtime.knownMessages = {{cases[1].code, cases[1].message}};
    for (const Case& c : cases) {
        platform.messages.clear();
        runtime.createResult = c.code;
        EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
        EXPECT_FALSE(client.open());
        EXPECT_EQ(platform.texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(platform.messages[0].tone, Tone::Error);
        EXPECT_EQ(runtime.initializeCount, runtime.uninitializeCount);
        client.close(); // must not shut the runtime down a second time
        EXPECT_EQ(runtime.initializeCount, runtime.uninitializeCount);
    }
}

} // namespace
} // namespace folvane
