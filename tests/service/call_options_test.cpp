// The options text of a call: what callers write and what the engine takes from it.
#include <gtest/gtest.h>

#include "engine/service/call_options.hpp"

using tavrix::CallOptions;
using tavrix::parseCallOptions;

TEST(CallOptions, PairsEscapesAndFreeText) {
    struct Case {
        const char* params;
        std::optional<std::string> password;
        bool repair, incremental, verbose;
    };
    const Case cases[] = {
        {"", std::nullopt, false, false, false},
        {"anything the caller likes", std::nullopt, false, false, false},
        {"password=SECRET;repair=1", "SECRET", true, false, false},
        {"password=", "", false, false, false}, // the empty password is asked for
        {"password=a\\;b\\\\c;incremental=yes", "a;b\\c", false, true, false},
        {"password=x=y; verbose = on ;repair=0", "x=y", false, false, true},
        {"nosuch=1;repair=true;;repair=no", std::nullopt, false, false, false}, // last one wins
        {"password= spaced ", " spaced ", false, false, false},
        {"trailing\\", std::nullopt, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        const CallOptions o = parseCallOptions(c.params);
        EXPECT_EQ(o.password, c.password);
        EXPECT_EQ(o.repair, c.repair);
        EXPECT_EQ(o.incremental, c.incremental);
        EXPECT_EQ(o.verbose, c.verbose);
    }
}

TEST(CallOptions, EscapedValuesComeBackUnchanged) {
    for (const std::string value : {"plain", "a;b", "back\\slash;", "\\;", ""}) {
        const CallOptions o =
            parseCallOptions("repair=1;password=" + tavrix::escapeOptionValue(value) + ";x=1");
        EXPECT_EQ(o.password, value);
    }
}
