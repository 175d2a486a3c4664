// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How output files are named: a prefix chosen once per run (or per record from a text field), a
// counter from the record number, the object's extension, then the name base without it and the
// output format's extension.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "run/extraction_options.h"

namespace pictrova::run {

inline constexpr std::string_view kFieldNoContent = "FIELDNOCONTENT";

// The output format's extension with its point (".tif" for TIFF); empty for None and Original.
std::string_view FormatExtension(OutputFormat format);

// Replaces the trailing run of "#" in `templateText` by `number`, zero-padded to the run's
// length (more digits are kept; no "#" gives the plain number). Record numbers of any size.
std::string ApplyCounter(std::string_view templateText, std::int64_t number);

// Pairs of backslashes become one, left to right; a leading run of any length becomes two.
std::string CleanBackslashes(std::string_view name);

// The name without the text from its last point, unless that point is the first character.
std::string StripExtension(std::string_view name);

// The name prefix fixed for the run: Text1 unchanged, table + "#", field + "#",
// table + "_" + field + "#"; "Output#" for OriginalName (used for whatever has no name of its
// own: an OLE object that is no package); empty for FieldText (set per record) and for no choice.
std::string RunPrefix(Naming naming, std::string_view prefixText, std::string_view table,
                      std::string_view field);

// The per-record prefix from a text field's value (nullopt for null), read method 1:
// FIELDNOCONTENT for null or blank, then / \ : * ? " < > | removed and control characters
// made "_".
std::string FieldTextPrefixByteToByte(const std::optional<std::string>& value);

// The same for read method 2: the text with control characters and "/" made "_", null giving
// the empty text.
std::string FieldTextPrefixRecordset(const std::optional<std::string>& value);

// The longest file name the file systems take, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// `stem` + `extension`, the stem cut (at a UTF-8 character boundary) so the whole fits
// kMaxFileNameBytes.
std::string FitFileName(std::string_view stem, std::string_view extension);

// `path` with " (n)" before its extension, the name cut to fit as FitFileName does: the name a
// run gives the n-th picture (n from 2) that would take a name already used.
std::filesystem::path NumberedPath(const std::filesystem::path& path, int n);

// The prefix with its counter (none for FieldText), a point and the extension, after
// CleanBackslashes.
std::string OutputName(Naming naming, std::string_view prefix, std::int64_t recordNumber,
                       std::string_view objectExtension);

// The name of one attached file's output. With OriginalName: the file's own name made safe
// (SafeAttachmentName). Otherwise OutputName's name, with "-" and the file's 1-based index after
// the counter when the record has more than one file (Output12-2.png).
std::string AttachmentOutputName(Naming naming, std::string_view prefix, std::int64_t recordNumber,
                                 std::size_t index, std::size_t count, std::string_view fileName,
                                 std::string_view fileExtension);

// A stored file name as a name in the output folder: only its last path part (after "/" or
// "\\"), each control character (C0, DEL, C1) and bidirectional control replaced by "_", at most
// kMaxAttachmentNameBytes bytes (cut at a character boundary, the extension kept), "attachment"
// for a name that is empty or only points and blanks, and leading points and dashes made "_".
inline constexpr std::size_t kMaxAttachmentNameBytes =
    200;  // leaves room for " (n)" and an extension
std::string SafeAttachmentName(std::string_view fileName);

// The extension of a stored file name (its last point's text once made safe), without the
// point; empty when there is none or when that text is no plain extension (letters and digits,
// at most 10).
std::string FileNameExtension(std::string_view fileName);

// The name a package's label gives its file: the label up to its zero byte, read as
// Windows-1252 (labels are stored in the saving system's code page, which does not travel with
// them) and made safe as SafeAttachmentName does; empty for an empty or blank label.
std::string PackageFileName(std::string_view label);

// `name` with " (n)" before its extension: what a run writes when it already wrote `name`.
std::string NumberedName(std::string_view name, int n);

// name base + extension as a name relative to the output folder, the name's backslashes read
// as separators and its file name cut to fit kMaxFileNameBytes. Throws pictrova::Error when
// the name would leave the folder (".."), so such a record is reported as a failed save.
std::filesystem::path OutputNameInFolder(std::string_view nameBase, std::string_view extension);

// folder + "/" + OutputNameInFolder. Throws pictrova::Error also when a link inside `folder`
// leads out as things stand now; the write itself never passes through a link, whatever
// changes later (AtomicFile beneath the output folder's descriptor).
std::filesystem::path OutputPathInFolder(const std::filesystem::path& folder,
                                         std::string_view nameBase, std::string_view extension);

}  // namespace pictrova::run
