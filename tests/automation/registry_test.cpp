// The registry file: format, lookups, subtree removal, damage, atomic and concurrent writes.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "automation_support.hpp"
#include "tavrixrt/registry.hpp"

using tavrix_test::readFile;
using tavrix_test::TempDir;
using tavrix_test::writeFile;
using tavrixrt::RegistryTree;

TEST(RegistryTree, SerializedTextParsesBackToTheSameTree) {
    RegistryTree tree;
    ASSERT_EQ(tree.setValue("CLSID\\{X}\\InprocServer32", "", "/opt/a \"b\"\\c.so"), S_OK);
    ASSERT_EQ(tree.setValue("CLSID\\{X}\\InprocServer32", "ThreadingModel", "Apartment"), S_OK);
    ASSERT_EQ(tree.createKey("CLSID\\{X}\\Programmable"), S_OK);
    ASSERT_EQ(tree.setValue("Odd", "line\nbreak", std::string("tab\tcr\rnul\0\x7F\xC3\xA9", 14)),
              S_OK);
    const std::string text = tree.serialize();
    EXPECT_NE(text.find("[CLSID\\{X}\\InprocServer32]\n@=\"/opt/a \\\"b\\\"\\\\c.so\"\n"
                        "\"ThreadingModel\"=\"Apartment\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[CLSID\\{X}\\Programmable]\n"), std::string::npos);

    RegistryTree back;
    ASSERT_EQ(RegistryTree::parse(text, back), S_OK);
    EXPECT_EQ(back.serialize(), text);
    EXPECT_EQ(back.value("clsid\\{x}\\inprocserver32"), "/opt/a \"b\"\\c.so");
    EXPECT_EQ(back.value("CLSID\\{X}\\InprocServer32", "threadingmodel"), "Apartment");
    EXPECT_EQ(back.value("Odd", "line\nbreak"), std::string("tab\tcr\rnul\0\x7F\xC3\xA9", 14));
    EXPECT_TRUE(back.hasKey("CLSID\\{X}\\Programmable"));
    EXPECT_TRUE(back.hasKey("CLSID")); // ancestors exist
    EXPECT_FALSE(back.value("CLSID\\{X}\\Programmable").has_value());
}

TEST(RegistryTree, DeletingAKeyKeepsSiblingsThatShareItsName) {
    RegistryTree tree;
    tree.setValue("Tavrix.TavrixCom\\CLSID", "", "a");
    tree.setValue("Tavrix.TavrixCom\\CurVer", "", "Tavrix.TavrixCom.1");
    tree.setValue("Tavrix.TavrixCom.1\\CLSID", "", "a");
    tree.setValue("Tavrix.TavrixCom-x", "", "b");
    EXPECT_EQ(tree.deleteTree("TAVRIX.TAVRIXCOM"), S_OK);
    EXPECT_FALSE(tree.hasKey("Tavrix.TavrixCom"));
    EXPECT_FALSE(tree.hasKey("Tavrix.TavrixCom\\CurVer"));
    EXPECT_EQ(tree.value("Tavrix.TavrixCom.1\\CLSID"), "a");
    EXPECT_EQ(tree.value("Tavrix.TavrixCom-x"), "b");
    EXPECT_EQ(tree.deleteTree("Tavrix.TavrixCom"), S_FALSE);
    EXPECT_EQ(tree.subkeys("Tavrix.TavrixCom.1"), std::vector<std::string>{"CLSID"});
}

TEST(RegistryTree, MalformedKeyPathsAreRefused) {
    RegistryTree tree;
    for (const char* bad : {"", "\\a", "a\\", "a\\\\b", "a\nb", "a\x01"})
        EXPECT_EQ(tree.setValue(bad, "", "v"), E_INVALIDARG) << bad;
    EXPECT_EQ(tree.keyCount(), 0u);
}

TEST(RegistryTree, DamagedTextIsReportedWithItsLine) {
    const char* damaged[] = {
        "@=\"value before any section\"\n",
        "[a]\n@=\"unterminated\n",
        "[a]\n@=\"bad escape \\q\"\n",
        "[a]\n@=\"short hex \\x4\"\n",
        "[a\n",
        "[a]\n\"\"=\"empty name\"\n",
        "[a]\n@=\"v\" trailing\n",
        "[a]\njunk\n",
        "[a\\\\b]\n",
    };
    for (const char* text : damaged) {
        RegistryTree tree;
        std::string error;
        EXPECT_EQ(RegistryTree::parse(text, tree, &error), REGDB_E_READREGDB) << text;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    }
    RegistryTree tree;
    EXPECT_EQ(RegistryTree::parse("# comment\r\n; also\r\n\r\n[a]\r\n@=\"crlf\"\r\n", tree), S_OK);
    EXPECT_EQ(tree.value("a"), "crlf");
}

TEST(RegistryFile, MissingFileIsEmptyAndADamagedOneIsNeverOverwritten) {
    TempDir dir;
    const std::string path = dir.file("sub/folder/registry");
    RegistryTree tree;
    EXPECT_EQ(tavrixrt::readRegistryFile(path, tree), S_FALSE);
    EXPECT_EQ(tree.keyCount(), 0u);

    // The first edit creates the folders and the file.
    ASSERT_EQ(
        tavrixrt::editRegistryFile(path, [](RegistryTree& t) { return t.setValue("k", "", "1"); }),
        S_OK);
    ASSERT_EQ(tavrixrt::readRegistryFile(path, tree), S_OK);
    EXPECT_EQ(tree.value("k"), "1");

    // A failing edit leaves the file as it was.
    EXPECT_EQ(tavrixrt::editRegistryFile(path,
                                         [](RegistryTree& t) {
                                             t.setValue("k", "", "2");
                                             return E_FAIL;
                                         }),
              E_FAIL);
    ASSERT_EQ(tavrixrt::readRegistryFile(path, tree), S_OK);
    EXPECT_EQ(tree.value("k"), "1");

    writeFile(path, "[k]\n@=\"broken\n");
    std::string error;
    bool called = false;
    EXPECT_EQ(tavrixrt::editRegistryFile(
                  path,
                  [&](RegistryTree&) {
                      called = true;
                      return S_OK;
                  },
                  &error),
              REGDB_E_READREGDB);
    EXPECT_FALSE(called);
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(readFile(path), "[k]\n@=\"broken\n");
}

TEST(RegistryFile, ConcurrentEditsLoseNothingAndLeaveNoTemporaryFiles) {
    TempDir dir;
    const std::string path = dir.file("registry");
    auto writer = [&](const std::string& prefix) {
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(tavrixrt::editRegistryFile(path,
                                                 [&](RegistryTree& t) {
                                                     return t.setValue(prefix + std::to_string(i),
                                                                       "", "v");
                                                 }),
                      S_OK);
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    a.join();
    b.join();
    RegistryTree tree;
    ASSERT_EQ(tavrixrt::readRegistryFile(path, tree), S_OK);
    EXPECT_EQ(tree.keyCount(), 80u);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"registry", "registry.lock"}));
}
