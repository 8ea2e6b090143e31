// The REGEDIT4 text form of the settings store: what it reads, what it
// writes, and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/RegFile.h"
#include "support/TestSupport.h"

namespace {

const TRegRawValue* valueAt(const TRegTree& tree, const char* key, const char* name)
{
    const TRegKeyNode* node = tree.Find(TRootKey::CurrentUser, key);
    return node == nullptr ? nullptr : node->Value(name);
}

std::vector<uint8_t> bytes(std::string_view s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

constexpr const char* kMain = "Software\\Kelvo\\rororade\\main";

}  // namespace

TEST(RegFile, ReadsEveryValueForm)
{
    const TRegTree tree = ParseRegFile(
        "REGEDIT4\r\n"
        "\r\n"
        "; a comment\n"
        "[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade\\main]\n"
        "\"filename0\"=\"C:\\\\Shows\\\\a \\\"b\\\".sdt\"\n"
        "\"ignoreMouseMove\"=dword:00000005\n"
        "\"short\"=dword:1f\n"
        "\"expand\"=hex(2):25,54,45,4d,50,25,00\n"
        "\"blob\"=hex:01,02,\\\n"
        "  03 , ff\n"
        "\"empty\"=hex:\n"
        "\"multi\"=hex(7):61,00,62,00,00,00\n"
        "@=\"default\"\n"
        "\"odd\\path\"=\"C:\\Tools\"\n");
    struct Row {
        const char* name;
        TRegRawValue expected;
    };
    const Row rows[] = {
        {"filename0", {RegType::String, bytes("C:\\Shows\\a \"b\".sdt")}},
        {"ignoreMouseMove", {RegType::Dword, {5, 0, 0, 0}}},
        {"short", {RegType::Dword, {0x1f, 0, 0, 0}}},
        {"expand", {RegType::ExpandString, bytes("%TEMP%")}},
        {"blob", {RegType::Binary, {1, 2, 3, 0xff}}},
        {"empty", {RegType::Binary, {}}},
        {"multi", {7, {'a', 0, 'b', 0, 0, 0}}},
        {"", {RegType::String, bytes("default")}},
        // A backslash that escapes nothing stands for itself, so a hand-typed
        // Windows path is not lost.
        {"odd\\path", {RegType::String, bytes("C:\\Tools")}},
    };
    for (const Row& row : rows) {
        const TRegRawValue* value = valueAt(tree, kMain, row.name);
        ASSERT_NE(value, nullptr) << row.name;
        EXPECT_EQ(*value, row.expected) << row.name;
    }
    EXPECT_EQ(tree.Find(TRootKey::CurrentUser, kMain)->values.size(), std::size(rows));
}

TEST(RegFile, NamesMatchWhateverTheirCase)
{
    const TRegTree tree = ParseRegFile("REGEDIT4\n[hkey_current_user\\SOFTWARE\\kelvo]\n\"FileName0\"=\"x\"\n");
    ASSERT_NE(tree.Find(TRootKey::CurrentUser, "Software\\Kelvo"), nullptr);
    EXPECT_NE(valueAt(tree, "software\\KELVO", "filename0"), nullptr);
    EXPECT_EQ(tree.Find(TRootKey::CurrentUser, "Software\\Kelvo")->name, "kelvo");
}

TEST(RegFile, ParentsOfASectionExistAndEmptyKeysSurvive)
{
    const TRegTree tree = ParseRegFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\B\\C]\n");
    EXPECT_NE(tree.Find(TRootKey::CurrentUser, "A"), nullptr);
    EXPECT_NE(tree.Find(TRootKey::CurrentUser, "A\\B\\C"), nullptr);
    const TRegTree again = ParseRegFile(SerializeRegFile(tree));
    EXPECT_NE(again.Find(TRootKey::CurrentUser, "A\\B\\C"), nullptr);
    EXPECT_EQ(tree.Find(TRootKey::LocalMachine, "A"), nullptr);
}

TEST(RegFile, DeletionsInTheFileApply)
{
    const TRegTree tree = ParseRegFile(
        "REGEDIT4\n"
        "[HKEY_CURRENT_USER\\K]\n\"a\"=\"1\"\n\"b\"=\"2\"\n"
        "[HKEY_CURRENT_USER\\K\\Sub]\n"
        "[HKEY_CURRENT_USER\\K]\n\"a\"=-\n"
        "[-HKEY_CURRENT_USER\\K\\Sub]\n\"ignored\"=\"x\"\n");
    EXPECT_EQ(valueAt(tree, "K", "a"), nullptr);
    EXPECT_NE(valueAt(tree, "K", "b"), nullptr);
    EXPECT_EQ(tree.Find(TRootKey::CurrentUser, "K\\Sub"), nullptr);
}

TEST(RegFile, WritesTheFormsAUserCanRead)
{
    TRegTree tree;
    TRegKeyNode& main = tree.Create(TRootKey::CurrentUser, kMain);
    main.SetValue("filename0", {RegType::String, bytes("/home/u/My \"Show\"\\x.sdt")});
    main.SetValue("ignoreMouseMove", {RegType::Dword, {1, 0, 0, 0}});
    main.SetValue("expand", {RegType::ExpandString, bytes("%A%")});
    main.SetValue("bin", {RegType::Binary, {0xde, 0xad}});
    main.SetValue("lines", {RegType::String, bytes("a\nb")});
    main.SetValue("qword", {11, {1, 2, 3, 4, 5, 6, 7, 8}});
    main.SetValue("", {RegType::String, bytes("d")});
    const std::string text = SerializeRegFile(tree);
    EXPECT_EQ(text,
        "REGEDIT4\n\n"
        "[HKEY_CURRENT_USER\\Software]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kelvo]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade\\main]\n"
        "\"filename0\"=\"/home/u/My \\\"Show\\\"\\\\x.sdt\"\n"
        "\"ignoreMouseMove\"=dword:00000001\n"
        "\"expand\"=hex(2):25,41,25,00\n"
        "\"bin\"=hex:de,ad\n"
        "\"lines\"=hex(1):61,0a,62,00\n"
        "\"qword\"=hex(b):01,02,03,04,05,06,07,08\n"
        "@=\"d\"\n\n");
    const TRegTree again = ParseRegFile(text);
    for (const auto& [name, value] : main.values)
        EXPECT_EQ(*valueAt(again, kMain, name.c_str()), value) << name;
}

TEST(RegFile, LongBinaryValuesWrapAndReadBack)
{
    TRegTree tree;
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    tree.Create(TRootKey::CurrentUser, "K").SetValue("big", {RegType::Binary, data});
    const std::string text = SerializeRegFile(tree);
    size_t longest = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    EXPECT_LE(longest, 80u);
    EXPECT_EQ(valueAt(ParseRegFile(text), "K", "big")->data, data);
}

TEST(RegFile, RefusesWhatIsNotAStoreFile)
{
    struct Row {
        const char* text;
        size_t line;
    };
    const Row rows[] = {
        {"", 0},
        {"\n\n", 2},
        {"Windows Registry Editor Version 5.00\n", 1},
        {"REGEDIT4\n\"a\"=\"b\"\n", 2},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K\n", 2},
        {"REGEDIT4\n[HKEY_NOWHERE\\K]\n", 2},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=\"unterminated\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=\"x\" trailing\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a=\"x\"\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\" \"x\"\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=dword:123456789\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=dword:\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=dword:xyz\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex:01,zz\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex:01 02\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex(:01\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex01\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex:01,\\", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex:01,\\ x\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=42\n", 3},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\K]\ngarbage\n", 3},
        {"\x7f" "ELF\x02\x01\x01", 1},
    };
    for (const Row& row : rows) {
        try {
            ParseRegFile(row.text);
            ADD_FAILURE() << "accepted: " << row.text;
        } catch (const TRegParseError& e) {
            EXPECT_EQ(e.Line(), row.line) << row.text << " -> " << e.what();
        }
    }
}

TEST(RegFile, AFileCutAnywhereNeverYieldsAWrongString)
{
    // Cut a well-formed file at every byte: a cut inside a string or a hex
    // run must never read as a different value silently.
    TRegTree tree;
    TRegKeyNode& key = tree.Create(TRootKey::CurrentUser, kMain);
    key.SetValue("filename0", {RegType::String, bytes("/home/user/shows/demo.sdt")});
    key.SetValue("blob", {RegType::Binary, std::vector<uint8_t>(40, 0xab)});
    const std::string text = SerializeRegFile(tree);
    for (size_t cut = 0; cut < text.size(); ++cut) {
        try {
            const TRegTree partial = ParseRegFile(text.substr(0, cut));
            if (const TRegRawValue* name = valueAt(partial, kMain, "filename0")) {
                EXPECT_EQ(*name, *key.Value("filename0")) << "cut at " << cut;
            }
        } catch (const TRegParseError&) {
        }
    }
}

TEST(RegFile, StorableNames)
{
    EXPECT_TRUE(IsStorableKeyName("main"));
    EXPECT_FALSE(IsStorableKeyName(""));
    EXPECT_FALSE(IsStorableKeyName("a\nb"));
    EXPECT_TRUE(IsStorableValueName(""));
    EXPECT_TRUE(IsStorableValueName("with \"quotes\" and \\"));
    EXPECT_FALSE(IsStorableValueName("a\rb"));
    EXPECT_FALSE(IsStorableValueName(std::string("a\0b", 3)));
}
