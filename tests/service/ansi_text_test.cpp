// Stamped texts arrive as UTF-8 and are written in Windows-1252 when it holds them.
#include <gtest/gtest.h>

#include "engine/service/ansi_text.hpp"

TEST(AnsiText, WhatWindows1252HoldsIsKeptAndEverythingElseIsAQuestionMark) {
    const std::pair<std::string, std::string> cases[] = {
        {"Page 1", "Page 1"},
        {"Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x93", "Caf\xE9 \x80 \x96"}, // e acute, euro, en dash
        {"\xC2\x81", "?"},            // U+0081: one of the five codes Windows-1252 leaves out
        {"\xE4\xB8\xAD", "?"},        // CJK: one character, one mark
        {"\xC0\xAF", "??"},           // overlong "/" is no UTF-8
        {"\xED\xA0\x80", "???"},      // a surrogate is no character
        {"\xF4\x90\x80\x80", "????"}, // beyond U+10FFFF
        {"ab\xC3", "ab?"},            // cut off
    };
    for (const auto& [utf8, expected] : cases)
        EXPECT_EQ(tavrix::utf8ToWindows1252(utf8), expected) << utf8;
    EXPECT_EQ(tavrix::windows1252ToUtf8("Caf\xE9 \x80 \x96 \x81"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x93 \xC2\x81");
}

TEST(AnsiText, ARunLeavesWindows1252OnlyForACharacterItCannotHold) {
    const std::pair<std::string, bool> cases[] = {
        {"Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x93", true},
        {"ab\xC3", true},           // a cut-off sequence is no character: "?" either way
        {"\xC2\x81", false},        // U+0081, left out of Windows-1252
        {"Strona \xC4\x85", false}, // a with ogonek
        {"Pe\xCC\x81ge", false},    // a combining mark
    };
    for (const auto& [utf8, fits] : cases)
        EXPECT_EQ(tavrix::fitsWindows1252(utf8), fits) << utf8;
}

TEST(AnsiText, TheTextAsGivenStandsOnlyWhileItStillConvertsToTheField) {
    // Set through the property: both forms agree.
    EXPECT_EQ(tavrix::originalText("Strona ?", "Strona \xC4\x85"), "Strona \xC4\x85");
    // The single-byte field set on its own later: the kept text is stale and the field wins.
    EXPECT_EQ(tavrix::originalText("Caf\xE9", "Strona \xC4\x85"), "Caf\xC3\xA9");
}
