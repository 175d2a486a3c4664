// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The database a user has chosen: the database page's path field (Text1) and password field
// (Text2), read live, or fixed values (command line, tests). The selection opens its database
// once and keeps it while the path and password stay what they were and the file at the path is
// the one opened, so the listings and the run of one choice share one open.

#include <string>

#include "database/opened_database.h"

namespace pictrova::database {

class DatabaseSelection {
  public:
    virtual ~DatabaseSelection() = default;
    virtual std::string DatabasePath() const = 0;
    virtual std::string DatabasePassword() const = 0;

    // The database the path and password name: the one kept, else opened now and kept. Errors
    // of the open pass to the caller, and nothing is kept then. For one thread at a time.
    Database Opened() const;
    // Lets the kept database go (the path or the password changed).
    void ForgetOpened() const { kept_ = {}; }

  protected:
    void Keep(Database database) const { kept_ = std::move(database); }

  private:
    mutable Database kept_;
};

// A selection that holds fixed values (command line, tests).
class FixedDatabaseSelection : public DatabaseSelection {
  public:
    FixedDatabaseSelection(std::string path, std::string password)
        : path_(std::move(path)), password_(std::move(password)) {}
    std::string DatabasePath() const override { return path_; }
    std::string DatabasePassword() const override { return password_; }

  private:
    std::string path_;
    std::string password_;
};

// A database already open, as a selection of its own: a copy of the page's open database that
// work on another thread reads without opening the file again.
class OpenedDatabaseSelection : public DatabaseSelection {
  public:
    explicit OpenedDatabaseSelection(Database database)
        : path_(database.Path()), password_(database.Password()) {
        Keep(std::move(database));
    }
    std::string DatabasePath() const override { return path_; }
    std::string DatabasePassword() const override { return password_; }

  private:
    std::string path_;
    std::string password_;
};

}  // namespace pictrova::database
