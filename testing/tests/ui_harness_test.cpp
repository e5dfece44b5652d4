// What the program tests compare before and after a run must see every change:
// a snapshot or registry read that came back empty would make them pass alike.
#include <gtest/gtest.h>

#include "ui_harness.hpp"

namespace {

using namespace ui_harness;

TEST(Harness, SnapshotsSeeContentsAndEmptyFoldersAndRegistryReadsSeeEveryValue) {
    TempFolder folder(L"harness");
    writeFile(folder / L"a\\b.txt", std::string("x\0y", 3));
    createFolders(folder / L"empty");
    const TreeSnapshot expected{
        {L"a\\", ""}, {L"a\\b.txt", std::string("x\0y", 3)}, {L"empty\\", ""}};
    EXPECT_EQ(snapshotTree(folder.path()), expected);

    const std::wstring path = L"SOFTWARE\\HarnessTest";
    {
        const auto key = RegKey::create(HKEY_CURRENT_USER, path);
        key.setString(L"Name", L"value");
        key.setRaw(L"Raw", REG_BINARY, std::string("\x01\x00", 2));
        EXPECT_EQ(key.readString(L"Name"), L"value");
        EXPECT_EQ(key.readString(L"Raw"), std::nullopt);
        const std::map<std::wstring, RegKey::Value> values{
            {L"Name", {REG_SZ, std::string("v\0a\0l\0u\0e\0\0\0", 12)}},
            {L"Raw", {REG_BINARY, std::string("\x01\x00", 2)}}};
        EXPECT_EQ(key.values(), values);
    }
    RegKey::deleteTree(HKEY_CURRENT_USER, path);
    EXPECT_FALSE(RegKey::open(HKEY_CURRENT_USER, path));
}

}  // namespace
