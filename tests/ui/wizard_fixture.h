// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A wizard started as the program starts it, with its dialogs answered by the test, a program
// folder of its own and an empty settings group.

#include <gtest/gtest.h>

#include <memory>

#include "jet_writer/jet_writer.h"
#include "test_paths.h"
#include "ui/form1.h"
#include "ui/settings_store.h"
#include "ui_test_support.h"

namespace pictrova::ui::testing {

class WizardTest : public ::testing::Test {
  protected:
    void SetUp() override { ClearStoredSettings(); }

    WizardServices Services() {
        return {dialogs, settings, programFolder.path(), [this] { ++endRequests; }};
    }

    // Runs the database page's start-up as the program does.
    Form1& Start() {
        form1_ = std::make_unique<Form1>(Services());
        EXPECT_TRUE(form1_->Load());
        form1_->ShowStartPage();
        return *form1_;
    }
    // The wizard Start() made.
    Form1& form1() { return *form1_; }

    // "Animals" (ID, Name, Photo) and "Pictures" (Picture ID, Caption, Picture), no rows.
    std::filesystem::path WriteTwoTableDatabase(const std::string& password = {}) {
        jet::DatabasePlan plan;
        plan.password = password;
        plan.tables.push_back({"Pictures",
                               {{"Picture ID", jet::ColumnType::Long},
                                {"Caption", jet::ColumnType::Text, 60},
                                {"Picture", jet::ColumnType::OleObject}},
                               {}});
        plan.tables.push_back({"Animals",
                               {{"ID", jet::ColumnType::Long},
                                {"Name", jet::ColumnType::Text, 60},
                                {"Photo", jet::ColumnType::OleObject}},
                               {}});
        const auto path = programFolder / "two tables.mdb";
        jet::WriteDatabase(path, plan);
        return path;
    }

    pictrova::testing::TempDir programFolder;
    ScriptedDialogs dialogs;
    SettingsStore settings;
    int endRequests = 0;

  private:
    std::unique_ptr<Form1> form1_;
};

}  // namespace pictrova::ui::testing
