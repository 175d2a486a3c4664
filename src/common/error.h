// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/error_codes.h"

namespace pictrova {

// A failure inside the core: a description and, where the program's behaviour gives one, an
// error number and the source text that names where it was raised. Guarded procedures turn it
// into an error report; probing routines turn it into their false result.
class Error : public std::runtime_error {
  public:
    explicit Error(std::string description, std::int32_t number = 0, std::string source = {})
        : std::runtime_error(description),
          number_(number),
          source_(std::move(source)),
          description_(std::move(description)) {}
    // One of the table's errors (error_codes.h), with the text and number the table gives it.
    explicit Error(ErrorCode code, std::string_view argument = {})
        : Error(ErrorText(code, argument), ErrorNumber(code)) {
        code_ = code;
    }

    std::int32_t number() const noexcept { return number_; }
    // The table's id when the error is one of the table's.
    std::optional<ErrorCode> code() const noexcept { return code_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }

  private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
    std::optional<ErrorCode> code_;
};

// Untrusted input that does not have the shape its format promises. Carries the offset of the
// read that failed so that a report can point at the byte.
class FormatError : public Error {
  public:
    FormatError(std::string what, std::uint64_t offset)
        : Error(what + " at offset " + std::to_string(offset)), offset_(offset) {}

    std::uint64_t offset() const noexcept { return offset_; }

  private:
    std::uint64_t offset_;
};

// The one assertion for conditions that depend on input data (never on programming errors).
inline void Enforce(bool condition, const char* what, std::uint64_t offset = 0) {
    if (!condition)
        throw FormatError(what, offset);
}

}  // namespace pictrova
