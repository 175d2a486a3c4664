// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The errors that several places raise with the same text: one id each, with the number and the
// text the data-access objects give them. A text may hold "%1", replaced by the one argument
// (a path, say). Raise them with Throw(ErrorCode::...), never by repeating the text.

#include <cstdint>
#include <string>
#include <string_view>

namespace pictrova {

enum class ErrorCode {
    InvalidUseOfNull,
    TypeMismatch,
    NoCurrentRecord,
    IllegalOperation,
    ItemNotFound,
    NotAValidPassword,
    ObjectClosed,
    ObjectOpen,
    ProviderNotFound,
    CouldNotFindFile,
    CannotOpenFile,
    UnrecognizedFormat,
};

struct ErrorCodeRow {
    ErrorCode code;
    std::int32_t number;  // 0 where the data-access objects give none
    std::string_view text;
};

// In the order of the enum (checked where the table is used).
inline constexpr ErrorCodeRow kErrorCodes[] = {
    {ErrorCode::InvalidUseOfNull, 94, "Invalid use of Null"},
    {ErrorCode::TypeMismatch, 13, "Type mismatch"},
    {ErrorCode::NoCurrentRecord, 3021,
     "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
     "requires a current record."},
    {ErrorCode::IllegalOperation, 3219, "Operation is not allowed in this context."},
    {ErrorCode::ItemNotFound, 3265,
     "Item cannot be found in the collection corresponding to the requested name or ordinal."},
    {ErrorCode::NotAValidPassword, 3031, "Not a valid password."},
    {ErrorCode::ObjectClosed, 3704, "Operation is not allowed when the object is closed."},
    {ErrorCode::ObjectOpen, 3705, "Operation is not allowed when the object is open."},
    {ErrorCode::ProviderNotFound, 3706,
     "Provider cannot be found. It may not be properly installed."},
    {ErrorCode::CouldNotFindFile, 0, "Could not find file '%1'."},
    {ErrorCode::CannotOpenFile, 0,
     "Cannot open the file '%1'. It is already opened exclusively by another user, or you need "
     "permission to view its data."},
    {ErrorCode::UnrecognizedFormat, 0, "Unrecognized database format '%1'."},
};

std::int32_t ErrorNumber(ErrorCode code) noexcept;
// The text with "%1" replaced by `argument`.
std::string ErrorText(ErrorCode code, std::string_view argument = {});
// Throws pictrova::Error with the code's text and number.
[[noreturn]] void Throw(ErrorCode code, std::string_view argument = {});

}  // namespace pictrova
