// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings_store.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include <sys/stat.h>

#include "common/error.h"
#include "ui_test_support.h"

namespace pictrova::ui {
namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::ClearStoredSettings(); }
};

TEST_F(SettingsStoreTest, MissingKeyGivesTheCallersDefault) {
    SettingsStore store;
    EXPECT_EQ(store.Read("Prefix", "Output#"), "Output#");
    EXPECT_EQ(store.Read("Option1", "1"), "1");
    EXPECT_EQ(store.Read("AccessMDBFile"), "");
}

TEST_F(SettingsStoreTest, TextComesBackUnchanged) {
    const QString texts[] = {"C:/My Pictures/db \"old\".mdb",
                             "a, b; c = d",
                             "pass;word=1",
                             "  blank  ",
                             "Ünïcødé/ファイル",
                             "#",
                             ""};
    for (const QString& text : texts) {
        SettingsStore writer;
        writer.Write("Output Folder", text);
        SettingsStore reader;
        EXPECT_EQ(reader.Read("Output Folder", "default"), text);
    }
}

TEST_F(SettingsStoreTest, LivesInGroupPictrovaOfQuillmoor) {
    SettingsStore store;
    store.Write("AccessPassword", "secret");
    EXPECT_TRUE(store.FileName().endsWith("/Quillmoor/Quillmoor.ini"))
        << store.FileName().toStdString();
    QSettings raw(store.FileName(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Pictrova/AccessPassword").toString(), "secret");
}

// With no session bus to be found (the tests' environment), the password is neither asked of
// nor given to a keyring: no D-Bus connection is tried, so no thread is started for one.
TEST_F(SettingsStoreTest, WithoutASessionBusThePasswordIsKeptWithoutAskingForOne) {
    const auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    const auto before = threads();
    SettingsStore store;
    store.Write("AccessPassword", "secret");
    EXPECT_EQ(SettingsStore().Read("AccessPassword"), "secret");
    EXPECT_EQ(threads(), before);
}

TEST_F(SettingsStoreTest, FileHoldingThePasswordIsReadableByItsOwnerOnly) {
    SettingsStore store;
    const QString folder = QFileInfo(store.FileName()).absolutePath();
    QDir(folder).removeRecursively();
    store.Write("AccessPassword", "secret");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(QFile::encodeName(store.FileName()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ::chmod(QFile::encodeName(store.FileName()).constData(), 0644);
    store.Write("AccessPassword", "other");
    ASSERT_EQ(::stat(QFile::encodeName(store.FileName()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(OptionStateText, WritesTheEnglishWords) {
    EXPECT_EQ(BooleanToText(true), "True");
    EXPECT_EQ(BooleanToText(false), "False");
}

TEST(OptionStateText, ReadsWordsAndNumbers) {
    struct Case {
        const char* text;
        bool expected;
    };
    const Case cases[] = {
        {"True", true}, {"False", false}, {"TRUE", true}, {"false", false}, {" True ", true},
        {"1", true},    {"0", false},     {"-1", true},   {"2", true},      {"0.0", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextToBoolean(c.text), c.expected) << c.text;
}

TEST(OptionStateText, AnythingElseIsATypeMismatch) {
    for (const char* text : {"", "yes", "Tru", "1x", "on"}) {
        try {
            TextToBoolean(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), 13) << text;
            EXPECT_EQ(error.description(), "Type mismatch");
        }
    }
}

}  // namespace
}  // namespace pictrova::ui
