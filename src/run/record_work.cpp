// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/record_work.h"

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

#include "common/child_output.h"
#include "common/error.h"
#include "common/file_io.h"
#include "common/guard.h"
#include "common/limits.h"
#include "imaging/engine_io.h"
#include "imaging/image_engine.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_encoder.h"
#include "imaging/picture_files.h"
#include "imaging/picture_kind.h"
#include "imaging/thumbnail.h"
#include "ole/object_header.h"
#include "ole/ole_object_decoder.h"
#include "run/external_converter.h"
#include "run/field_reading.h"
#include "run/output_formats.h"
#include "run/output_naming.h"

namespace pictrova::run {

namespace fs = std::filesystem;

namespace {

// Frees the memory of a record's bytes (a whole picture's worth): assigning {} to a vector empties
// it but keeps its memory.
void ReleaseBytes(std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t>().swap(bytes);
}

// Objects the picture loader reads itself; everything else goes through the converter first.
constexpr std::array<std::string_view, 9> kLoadableExtensions{"bmp", "jpg", "jpeg", "gif", "dib",
                                                              "wmf", "emf", "ico",  "cur"};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

// The description of a conversion that wrote nothing: the converter's own reason when it gave
// one, and how it ended unless that was an ordinary failure exit explaining itself.
std::string ConversionFailure(const fs::path& output, int code, const std::string& reason) {
    std::string text = "The converter could not write " + output.string();
    if (!reason.empty())
        text += ": " + reason;
    if (code < 0)
        return text + " (it could not be started).";
    if (reason.empty() || code >= kSignalExitBase)
        return text + " (exit status " + std::to_string(code) + ").";
    return text;
}

// Why a value streamed whole (method 2) gave no picture: an OLE object needs decoding first.
bool StartsWithObjectHeader(const fs::path& file) {
    std::array<char, 2> start{};
    std::ifstream in(file, std::ios::binary);
    in.read(start.data(), start.size());
    return in && static_cast<unsigned char>(start[0]) == 0x15 &&
           static_cast<unsigned char>(start[1]) == 0x1C;
}

// A picture over the pixel limits, with its size when its header told it.
SkipReason TooLarge(const imaging::PictureSize& size) {
    if (size.width <= 0 || size.height <= 0)
        return {SkipCode::TooLarge, "over the pixel limits"};
    return {SkipCode::TooLarge, std::to_string(size.width) + " x " + std::to_string(size.height)};
}

// An attached file whose content is no picture kind, named with the kind its name gives.
SkipReason NotAPictureFile(const std::string& fileName) {
    const std::string extension = FileNameExtension(fileName);
    return {SkipCode::NotPicture,
            fileName + (extension.empty() ? "" : " (a " + Lower(extension) + " file)")};
}

SkipReason WhyRawNotLoaded(bool objectHeader) {
    if (objectHeader)
        return {SkipCode::NotLoaded, "the value is an OLE object (--method decode unwraps it)"};
    return {SkipCode::NotLoaded, "not a picture kind the loader reads"};
}

// Runs a write into the work folder. One that does not fit marks the record, so that the run
// ends at it, and is reported once as the work folder's fault; other failures pass as they are.
template <typename Write>
void WorkFileWrite(RecordResult& result, const fs::path& file, Write write) {
    int code = 0;
    fs::path refused = file;
    try {
        write();
        return;
    } catch (const FileWriteError& e) {
        code = e.code();
        refused = e.file();
        if (!e.outOfRoom())
            throw;
    } catch (const fs::filesystem_error& e) {
        code = e.code().value();
        if (!FileWriteError(file, code).outOfRoom())
            throw;
    }
    result.outOfRoom = true;
    throw Error(WorkFolderFullReport(refused, code));
}

// A field streamed to its work file (method 2) stays there while the record may be worked
// again: the work leaves it to its worker, which deletes it unless the record is worked again.
bool StreamedFieldLeftToWorker(const RecordWork& record) {
    return record.mayWorkAgain && record.read.stage == RecordStage::Read &&
           record.read.choices.method == ReadMethod::Recordset && !record.read.attachment;
}

// One record's work, step by step.
class RecordSteps {
  public:
    RecordSteps(const RunSetup& setup, RecordWork& record, Host& host)
        : setup_(setup),
          record_(record),
          in_(record.read),
          r_(record.result),
          host_(host),
          guard_(std::string(kRunLocation), record.result.reports),
          workFile_(RecordWorkFile(setup, in_.number)),
          secondWorkFile_(RecordSecondWorkFile(setup, in_.number)) {}

    void Run() {
        r_.stage = in_.stage;
        if (in_.stage == RecordStage::Read) {
            TakeValue();
            if (in_.attachment)
                AttachedFile();
            else if (in_.choices.method == ReadMethod::ByteToByte)
                Method1();
            else
                Method2();
            if (r_.stage == RecordStage::Found && in_.attachment)
                r_.Skip({SkipCode::NotLoaded, in_.attachment->fileName});
            if (r_.stage == RecordStage::Found)
                r_.Skip(in_.choices.method == ReadMethod::ByteToByte
                            ? WhyNotLoaded(objectKind_, packagedKind_)
                            : WhyRawNotLoaded(rawIsObject_));
            if (r_.stage == RecordStage::Read)
                r_.stage = RecordStage::NotFound;
        }
        if (setup_.previewOnly) {
            Preview();
            LetGoOfStreamedField();
            return;
        }
        Save();
        if (setup_.thumbnails && r_.output && r_.picture.HasPicture()) {
            // A picture the encoders took is one the thumbnail takes; should it fail all the
            // same, the sheet shows the file without one.
            try {
                r_.thumbnail = imaging::ThumbnailJpeg(r_.picture.Image());
            } catch (const Error&) {
                r_.thumbnail.clear();
            }
        }
        LetGoOfStreamedField();
    }

  private:
    // The preview's end of the work: the picture's size and its thumbnail, the picture itself
    // dropped unless the preview shows it whole.
    void Preview() {
        if (!loaded() || !r_.picture.HasPicture())
            return;
        const imaging::cDIBSection& picture = r_.picture.Image();
        r_.pictureWidth = picture.dib_width();
        r_.pictureHeight = picture.dib_height();
        try {
            r_.previewThumbnail = imaging::ScaleDownToFit(picture, imaging::kThumbnailLongestSide);
        } catch (const Error&) {
            r_.previewThumbnail.CleanUp();
        }
        if (!setup_.previewFullPicture)
            r_.picture.Clear();
    }

    // The field's value into the bytes in work: copied while the record may be worked again,
    // else taken.
    void TakeValue() {
        if (record_.mayWorkAgain)
            bytes_ = in_.value;
        else
            bytes_ = std::move(record_.read.value);
    }

    void LetGoOfStreamedField() {
        if (!StreamedFieldLeftToWorker(record_))
            KillFile(host_, workFile_);
    }

    void SetLoaded(bool loaded) { r_.stage = loaded ? RecordStage::Loaded : RecordStage::Found; }
    bool loaded() const { return r_.stage == RecordStage::Loaded; }

    std::string RecordOutputName(const std::string& extension) const {
        if (!in_.fieldTextNaming)
            return OutputName(in_.choices.naming, setup_.namePrefix, in_.number, extension);
        return in_.fieldTextPrefix
                   ? OutputName(in_.choices.naming, *in_.fieldTextPrefix, in_.number, extension)
                   : std::string();
    }

    bool external() const { return !setup_.converter.empty(); }

    // The Original format: every decoded object is written as the file it holds.
    bool original() const { return in_.choices.format == OutputFormat::Original; }

    // The converter's reading of a picture of any kind, into the record's picture; false
    // (quietly) when it cannot read it.
    template <typename Source>
    bool DecodeAnyPicture(const Source& source) {
        try {
            imaging::DecodeAnyPicture(source, r_.picture.Image());
            SetLoaded(r_.picture.HasPicture());
        } catch (const std::exception&) {
            r_.picture.Clear();
            SetLoaded(false);
        }
        return loaded();
    }

    void ConvertToBmp(const fs::path& output, const fs::path& input) {
        // Quiet on failure: the loader then decides whether the unconverted file is a picture.
        ShellAndWait(host_,
                     ConverterArgumentVector(setup_.converter.string(),
                                             ConverterFormatWords(OutputFormat::BMP, 0),
                                             output.string(), input.string()),
                     0, setup_.converterTimeout);
    }

    void Method1() {
        ole::DecodeResult decoded;
        guard_.Step(222, [&] { decoded.packageName.clear(); });
        guard_.Step(224, [&] { r_.objectExtension.clear(); });
        guard_.Step(228, [&] {
            decoded = ole::DecodeOleObject(std::move(bytes_));
            ReleaseBytes(bytes_);
        });
        r_.objectClass = std::move(decoded.objectClass);
        if (guard_.Test(230, [&] { return !decoded.ok(); })) {
            if (decoded.skip)
                r_.Skip(std::move(*decoded.skip));
            return;
        }
        bytes_ = std::move(decoded.payload);
        objectKind_ = decoded.kind;
        r_.objectExtension = ole::KindExtension(decoded.kind);
        guard_.Step(232, [&] { r_.stage = RecordStage::Found; });
        r_.storedPreviewUsed = decoded.source == ole::PayloadSource::StoredPreview;
        const std::string& packageName = decoded.packageName;
        const std::string extension =
            original() ? OriginalObjectExtension(packageName) : r_.objectExtension;
        guard_.Step(234, [&] {
            // A package named by its own file name keeps that name (and its extension).
            const std::string own = in_.choices.naming == Naming::OriginalName
                                        ? PackageFileName(packageName)
                                        : std::string();
            r_.outputName = own.empty() ? RecordOutputName(extension) : own;
        });
        if (original()) {
            KeepOriginal(false);
            return;
        }
        // What a package holds is known only from its content; loading consumes the bytes.
        if (objectKind_ == ole::ObjectKind::Package)
            packagedKind_ = imaging::SniffPictureKind(bytes_);
        LoadObject();
        // A document (or a damaged picture) that gives no picture: the picture the object
        // stores for display, when it stores one.
        if (!loaded() && decoded.unusedPreview)
            LoadStoredPreview(*decoded.unusedPreview);
    }

    // The extension an object's file keeps in the Original format: the decoder's, except for
    // packages, whose file takes its label's extension, else the extension of the picture kind
    // it holds, else "bin".
    std::string OriginalObjectExtension(const std::string& packageName) const {
        if (objectKind_ != ole::ObjectKind::Package)
            return r_.objectExtension;
        std::string extension = FileNameExtension(PackageFileName(packageName));
        if (extension.empty())
            extension = imaging::FileExtension(imaging::SniffPictureKind(bytes_));
        return extension.empty() ? "bin" : extension;
    }

    // The object's own file gave no picture: its stored preview is loaded instead. The
    // document's kind stays the record's when the preview gives none either.
    void LoadStoredPreview(ole::StoredPreview& preview) {
        ole::ObjectKind previewKind = ole::ObjectKind::None;
        bool made = false;
        try {
            made = ole::StoredPreviewToFile(preview, bytes_, previewKind);
        } catch (const std::exception&) {
            made = false;
        }
        if (made) {
            r_.objectExtension = ole::KindExtension(previewKind);
            LoadObject();
        }
        r_.storedPreviewUsed = loaded();
        if (loaded())
            objectKind_ = previewKind;
        else
            r_.objectExtension = ole::KindExtension(objectKind_);
    }

    // The Original format: the record's file is the output as it is, under its output name
    // with the extension that name carries: bytes_, or the streamed work file.
    void KeepOriginal(bool workFile) {
        r_.stage = RecordStage::KeptAsIs;
        // A record whose name field gave no name gives no file (the record says why).
        if (r_.outputName.empty())
            return;
        EncodedOutput output;
        if (!guard_.Step(372, [&] {
                const std::string nameBase = StripExtension(r_.outputName);
                PlaceOutput(output, nameBase,
                            std::string_view(r_.outputName).substr(nameBase.size()));
            }))
            return;
        if (workFile) {
            // Moved aside so the record's clean-up leaves it for the commit, which copies it.
            const fs::path kept = setup_.workFolder / ("original-" + std::to_string(in_.number));
            if (!guard_.Step(374, [&] { fs::rename(workFile_, kept); }))
                return;
            output.writing = OutputWriting::CopyOfFile;
            output.file = kept;
        } else {
            output.bytes = std::move(bytes_);
            ReleaseBytes(bytes_);
        }
        output.writeLabel = output.renameLabel = 374;
        r_.output = std::move(output);
    }

    // An attached file: a picture by its content goes the way of a decoded object of its kind
    // (loaded, or converted first); anything else gives no output. In the Original format every
    // attached file is written as it is, with its own extension.
    void AttachedFile() {
        r_.stage = RecordStage::Found;
        const imaging::PictureKind kind = imaging::SniffPictureKind(bytes_);
        if (!original() &&
            guard_.Test(202, [&] { return kind == imaging::PictureKind::Unknown; })) {
            r_.Skip(NotAPictureFile(in_.attachment->fileName));
            return;
        }
        guard_.Step(204, [&] {
            const AttachmentPart& part = *in_.attachment;
            if (original()) {
                r_.objectExtension = FileNameExtension(part.fileName);
                if (r_.objectExtension.empty())
                    r_.objectExtension = imaging::FileExtension(kind);
                if (r_.objectExtension.empty())
                    r_.objectExtension = "bin";
            } else {
                r_.objectExtension = imaging::IsDirectlyLoadable(kind)
                                         ? "bmp"
                                         : Lower(std::string(imaging::EngineCoderName(kind)));
            }
            if (!in_.fieldTextNaming || in_.fieldTextPrefix)
                r_.outputName = AttachmentOutputName(
                    in_.choices.naming,
                    in_.fieldTextNaming ? *in_.fieldTextPrefix : setup_.namePrefix, in_.number,
                    part.index, part.count, part.fileName, r_.objectExtension);
        });
        if (original())
            KeepOriginal(false);
        else
            LoadObject();
    }

    // The decoded object (or attached file) in bytes_, loaded as a picture. Only a kind the
    // loader does not read goes through a work file, and only for an external converter.
    void LoadObject() {
        const bool loadable = guard_.Test(264, [&] {
            auto ext = Lower(r_.objectExtension);
            return std::find(kLoadableExtensions.begin(), kLoadableExtensions.end(), ext) !=
                   kLoadableExtensions.end();
        });
        if (external() && !loadable) {
            ConvertObjectThroughWorkFile();
            return;
        }
        // Objects the loader cannot read are decoded by the converter's reader; what it refuses
        // still goes to the loader, as an unconverted work file would.
        bool converted = false;
        if (!loadable)
            guard_.Step(278, [&] { converted = DecodeAnyPicture(bytes_); });
        if (!converted)
            LoadBytes(loadable ? 268 : 292, loadable ? 270 : 294);
        ReleaseBytes(bytes_);
    }

    // The external converter reads the object from a work file and writes a BMP beside it; the
    // loader reads that, or the object as it was when the converter wrote nothing.
    void ConvertObjectThroughWorkFile() {
        guard_.Step(256, [&] {
            WorkFileWrite(r_, workFile_, [&] { WriteWholeFile(bytes_, workFile_); });
            // The decoded object is on disk; keep memory to one copy of the picture.
            ReleaseBytes(bytes_);
        });
        guard_.Step(278, [&] {
            ConvertToBmp(ReplaceExtensionWithBmp(workFile_.string(), r_.objectExtension),
                         workFile_);
        });
        guard_.Step(288, [&] {
            workFile_ = ReplaceExtensionWithBmp(workFile_.string(), r_.objectExtension);
        });
        if (guard_.Test(290, [&] { return !FileExists(workFile_); }))
            return;
        ReadWorkFile(292, workFile_);
        LoadBytes(292, 294);
        ReleaseBytes(bytes_);
        guard_.Step(300, [&] { KillFile(host_, workFile_); });
    }

    // bytes_: a file the converter or the streamed field left in the work folder.
    void ReadWorkFile(int label, const fs::path& file) {
        guard_.Step(label, [&] { bytes_ = imaging::ReadWholeFile(file); });
    }

    // The picture in bytes_ repaired and loaded; a picture refused as too large, or a metafile
    // not drawn, says why.
    void LoadBytes(int repairLabel, int loadLabel) {
        guard_.Step(repairLabel, [&] { imaging::RepairPictureBytes(bytes_); });
        std::optional<imaging::PictureSize> tooBig;
        std::optional<imaging::RenderRefusal> notRendered;
        guard_.Step(loadLabel, [&] {
            SetLoaded(imaging::LoadPictureBytes(r_.picture, bytes_, &tooBig, &notRendered));
        });
        if (!loaded() && tooBig)
            r_.Skip(TooLarge(*tooBig));
        if (!loaded() && notRendered)
            r_.Skip(
                {SkipCode::NotRendered, std::string(imaging::RenderRefusalDetail(*notRendered))});
    }

    void Method2() {
        if (!guard_.Test(310, [&] { return FileSize2(workFile_) != 0; })) {
            r_.Skip({SkipCode::NoValue, {}});
            return;
        }
        guard_.Step(314, [&] { r_.stage = RecordStage::Found; });
        rawIsObject_ = StartsWithObjectHeader(workFile_);
        // The Original format writes the value as it was streamed, named by the picture kind it
        // starts with.
        guard_.Step(316, [&] {
            r_.outputName = RecordOutputName(original() ? StreamedExtension() : "bmp");
        });
        if (original()) {
            KeepOriginal(true);
            return;
        }
        if (guard_.Test(322, [&] { return !FileExists(workFile_); }))
            return;
        if (!external()) {
            // The streamed field is read back once and decoded in this process; what the
            // converter's reader refuses still goes to the loader.
            bool converted = false;
            ReadWorkFile(326, workFile_);
            guard_.Step(326, [&] { converted = DecodeAnyPicture(bytes_); });
            if (!converted)
                LoadBytes(342, 344);
            ReleaseBytes(bytes_);
            guard_.Step(350, [&] { LetGoOfStreamedField(); });
            return;
        }
        guard_.Step(324, [&] { KillFile(host_, secondWorkFile_); });
        guard_.Step(326, [&] { ConvertToBmp(secondWorkFile_, workFile_); });
        // The converter's BMP when it wrote one, else the field as it was streamed.
        const bool convertedFile = guard_.Test(336, [&] { return FileExists(secondWorkFile_); });
        ReadWorkFile(342, convertedFile ? secondWorkFile_ : workFile_);
        LoadBytes(342, 344);
        ReleaseBytes(bytes_);
        guard_.Step(350, [&] { LetGoOfStreamedField(); });
        guard_.Step(352, [&] { KillFile(host_, secondWorkFile_); });
    }

    // The extension of the picture kind the streamed value starts with; "bin" for none.
    std::string StreamedExtension() const {
        std::array<char, 64> head{};
        std::ifstream in(workFile_, std::ios::binary);
        in.read(head.data(), head.size());
        const auto* start = reinterpret_cast<const std::uint8_t*>(head.data());
        const std::string_view kind = imaging::FileExtension(imaging::SniffPictureKind(
            {start, static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0))}));
        return kind.empty() ? "bin" : std::string(kind);
    }

    // The output's final path and its name in the output folder; throws for a name that would
    // leave the output folder.
    void PlaceOutput(EncodedOutput& output, const std::string& nameBase,
                     std::string_view extension) const {
        output.finalPath = OutputPathInFolder(in_.choices.outputFolder, nameBase, extension);
        output.pathInFolder = OutputNameInFolder(nameBase, extension);
    }

    // The same for a picture in `format`; throws also for a record without a name.
    void PlaceOutput(EncodedOutput& output, OutputFormat format,
                     const std::string& nameBase) const {
        if (r_.outputName.empty())
            throw Error("The record has no output name.");
        PlaceOutput(output, nameBase, FormatExtension(format));
    }

    // Encodes the loaded picture; the commit writes it into the output folder.
    void Save() {
        if (!guard_.Test(354, [&] { return loaded() && !r_.outputName.empty(); }))
            return;
        std::string nameBase;
        guard_.Step(358, [&] { nameBase = StripExtension(r_.outputName); });
        const OutputFormat format = in_.choices.format;

        for (const OutputFormatRow& f : OutputFormatRows()) {
            if (f.route == OutputRoute::AsStored)
                continue;
            if (!guard_.Test(f.firstLabel, [&] { return format == f.format; }))
                continue;
            switch (f.route) {
                case OutputRoute::Bitmap:
                    SaveBitmap(f, nameBase);
                    break;
                case OutputRoute::Jpeg:
                    SaveJpeg(f, nameBase);
                    break;
                case OutputRoute::Converter:
                    SaveThroughConverter(f, nameBase);
                    break;
                case OutputRoute::AsStored:
                    break;
            }
            return;
        }
    }

    void SaveBitmap(const OutputFormatRow& f, const std::string& nameBase) {
        const int l = f.firstLabel;
        EncodedOutput output;
        if (!guard_.Step(l + 2, [&] { PlaceOutput(output, f.format, nameBase); }))
            return;
        if (guard_.Step(l + 4, [&] { output.bytes = r_.picture.BmpFileBytes(); })) {
            output.writeLabel = output.renameLabel = l + 4;
            r_.output = std::move(output);
        }
    }

    void SaveJpeg(const OutputFormatRow& f, const std::string& nameBase) {
        const int l = f.firstLabel;
        EncodedOutput output;
        if (!guard_.Step(l + 2, [&] { PlaceOutput(output, f.format, nameBase); }))
            return;
        if (guard_.Step(l + 4, [&] {
                output.bytes = imaging::EncodeJPG(
                    r_.picture, static_cast<std::uint8_t>(std::clamp(in_.choices.quality, 0, 255)));
            })) {
            output.writing = OutputWriting::Jpeg;
            output.writeLabel = output.renameLabel = l + 4;
            r_.output = std::move(output);
        }
    }

    void SaveThroughConverter(const OutputFormatRow& f, const std::string& nameBase) {
        if (!external()) {
            EncodeInProcess(f, nameBase);
            return;
        }
        const int l = f.firstLabel;
        EncodedOutput output;
        fs::path intermediate;
        // The intermediate BMP stays in the work folder: no file of the user's is touched.
        guard_.Step(l + 2, [&] {
            intermediate =
                setup_.workFolder / ("intermediate-" + std::to_string(in_.number) + ".bmp");
        });
        if (!guard_.Step(l + 4, [&] { PlaceOutput(output, f.format, nameBase); }))
            return;
        if (guard_.Step(l + 6, [&] {
                WorkFileWrite(r_, intermediate, [&] { r_.picture.SaveAsBmp(intermediate); });
            })) {
            guard_.Step(l + 8, [&] {
                // The converter writes into the work folder, so whatever a crashed or killed
                // converter leaves behind goes with that folder; only a checked picture is
                // copied to the output folder.
                const fs::path converted =
                    setup_.workFolder / ("converted-" + std::to_string(in_.number) +
                                         ConverterOutputExtension(f.format));
                std::error_code ec;
                fs::remove(converted, ec);
                std::string reason;
                const int code = ShellAndWait(
                    host_,
                    ConverterArgumentVector(setup_.converter.string(),
                                            ConverterFormatWords(f.format, in_.choices.quality),
                                            converted.string(), intermediate.string()),
                    0, setup_.converterTimeout, &reason);
                // A converter that fails may still leave a partial file: both must be right.
                if (code != 0 || !FileExists(converted))
                    throw Error(ConversionFailure(output.finalPath, code, reason));
                if (!ConverterOutputLooksRight(f.format, converted)) {
                    throw Error("The converter wrote " + output.finalPath.string() +
                                ", but it is not a " + ConverterFormatName(f.format) + " file.");
                }
                output.writing = OutputWriting::CopyOfFile;
                output.file = converted;
                output.writeLabel = l + 8;
                output.renameLabel = l + 14;
                r_.output = std::move(output);
            });
        }
        guard_.Step(l + 10, [&] { KillFile(host_, intermediate); });
    }

    // The converter's five formats encoded here from the loaded picture; the commit writes the
    // bytes under the labels of the conversion and of the check that the output is there.
    void EncodeInProcess(const OutputFormatRow& f, const std::string& nameBase) {
        const int l = f.firstLabel;
        EncodedOutput output;
        if (!guard_.Step(l + 4, [&] { PlaceOutput(output, f.format, nameBase); }))
            return;
        guard_.Step(l + 8, [&] {
            output.bytes = imaging::EncodePicture(r_.picture.Image(),
                                                  RunEncodeSettings(f, in_.choices.quality));
            output.writeLabel = l + 8;
            output.renameLabel = l + 14;
            r_.output = std::move(output);
        });
    }

    const RunSetup& setup_;
    RecordWork& record_;
    const RecordRead& in_;
    RecordResult& r_;
    Host& host_;
    Guard guard_;
    // The decoded object, attached file or file read back, while it is worked on.
    std::vector<std::uint8_t> bytes_;
    fs::path workFile_;
    fs::path secondWorkFile_;
    bool rawIsObject_ = false;  // method 2: the streamed value starts with an object header
    ole::ObjectKind objectKind_ = ole::ObjectKind::None;  // method 1: what the decoder took out
    imaging::PictureKind packagedKind_ =
        imaging::PictureKind::Unknown;  // method 1: a package's content
};

}  // namespace

std::string OutOfRoomReason(int code) {
    switch (code) {
        case ENOSPC:
            return "is on a full disk (" + std::string(std::strerror(code)) + ")";
        case EDQUOT:
            return "is over its disk quota (" + std::string(std::strerror(code)) + ")";
        default:
            return "is on a read-only file system (" + std::string(std::strerror(code)) + ")";
    }
}

std::string WorkFolderFullReport(const fs::path& file, int code) {
    return "Cannot write the work file " + file.filename().string() + ": the work folder " +
           file.parent_path().string() + " " + OutOfRoomReason(code) +
           " (TMPDIR chooses where it is made). The extraction stopped.";
}

fs::path RecordWorkFile(const RunSetup& setup, std::int64_t number) {
    return setup.workFolder / ("field-" + std::to_string(number) + ".bmp");
}

fs::path RecordSecondWorkFile(const RunSetup& setup, std::int64_t number) {
    return setup.workFolder / ("field-" + std::to_string(number) + "-converted.bmp");
}

bool ContentFound(RecordStage stage) {
    return stage == RecordStage::Found || stage == RecordStage::Loaded ||
           stage == RecordStage::KeptAsIs;
}

void WorkOnRecord(const RunSetup& setup, RecordWork& record, Host& host) {
    RecordSteps(setup, record, host).Run();
    TakeChildOutput(record.result.programMessages);
}

std::uint64_t BytesHeld(const RecordWork& record) {
    std::uint64_t bytes = record.read.value.capacity();
    if (record.result.output)
        bytes += record.result.output->bytes.capacity();
    bytes += static_cast<std::uint64_t>(std::max(record.result.picture.Image().biSizeImage(), 0));
    return bytes;
}

RecordWorkers::RecordWorkers(unsigned count, const RunSetup& setup) : setup_(setup) {
    // A picture's buffers go to the system and back whole. By default the allocator raises its
    // threshold for that to the largest buffer freed so far, and each worker thread then keeps
    // up to a few pictures' worth of freed memory in its own arena: with many workers the
    // process would hold many times the bytes the records in flight are allowed.
    constexpr int kPictureBufferBytes = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, kPictureBufferBytes);
    // Fixing that threshold also leaves the allocator's trim threshold at 128 KiB: every picture's
    // smaller buffers (the compressor's tables, rows, file bytes), freed at the top of an arena,
    // went back to the system and were faulted in again for the next picture, and a compressor
    // kept by a worker that ended went with it. Keeping up to two such pictures' worth per arena
    // ends that: a pile of 100 small databases takes 1.2 thousand page faults instead of 27
    // thousand.
    constexpr int kKeptFreeBytes = 2 * kPictureBufferBytes;
    mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);
    for (unsigned i = 0; i < std::max(count, 1u); ++i)
        threads_.emplace_back([this] { Work(); });
}

RecordWorkers::~RecordWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    queued_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void RecordWorkers::Submit(RecordWork& record, std::uint64_t weight) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({&record, false});
        weights_.emplace_back(&record, weight);
        held_ += weight;
    }
    queued_.notify_all();
}

void RecordWorkers::SubmitAlone(RecordWork& record, std::uint64_t weight) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_front({&record, true});
        weights_.emplace_back(&record, weight);
        held_ += weight;
    }
    queued_.notify_all();
}

bool RecordWorkers::WaitDone(const RecordWork& record, std::chrono::milliseconds timeout) {
    // The caller's share of the gate is given up while it waits, so a worker's fork can go in.
    const imaging::EngineUseSuspended waiting;
    std::unique_lock lock(mutex_);
    auto isDone = [&] { return std::find(done_.begin(), done_.end(), &record) != done_.end(); };
    if (!finished_.wait_for(lock, timeout, isDone))
        return false;
    std::erase(done_, &record);
    return true;
}

void RecordWorkers::Release(const RecordWork& record) {
    std::lock_guard lock(mutex_);
    const auto at = std::find_if(weights_.begin(), weights_.end(),
                                 [&](const auto& entry) { return entry.first == &record; });
    if (at == weights_.end())
        return;
    held_ -= at->second;
    weights_.erase(at);
}

std::uint64_t RecordWorkers::BytesHeld() {
    std::lock_guard lock(mutex_);
    return held_;
}

std::optional<std::uint64_t> RecordWorkers::ExpectedWorkBytes(std::uint64_t fieldBytes) {
    std::lock_guard lock(mutex_);
    if (recentWorkBytes_.empty())
        return std::nullopt;
    return std::max(fieldBytes,
                    *std::max_element(recentWorkBytes_.begin(), recentWorkBytes_.end()));
}

void RecordWorkers::Cancel() {
    std::lock_guard lock(mutex_);
    for (const Queued& queued : queue_)
        done_.push_back(queued.record);
    queue_.clear();
    finished_.notify_all();
}

// A record handed out alone waits until no record is in work, and none starts beside it.
bool RecordWorkers::MayStart() const {
    return !aloneInWork_ && (!queue_.front().alone || inWork_ == 0);
}

// Called with the mutex held: the record's weight becomes what it holds now, and what it took
// while in work joins the estimate for the records to come.
void RecordWorkers::Finished(RecordWork& record, std::uint64_t workBytes) {
    --inWork_;
    aloneInWork_ = false;
    const auto at = std::find_if(weights_.begin(), weights_.end(),
                                 [&](const auto& entry) { return entry.first == &record; });
    if (at != weights_.end()) {
        held_ -= at->second;
        at->second = run::BytesHeld(record);
        held_ += at->second;
    }
    // The last few records: a table's pictures tend to come in runs of one size.
    constexpr std::size_t kRecentRecords = 8;
    recentWorkBytes_.push_back(workBytes);
    if (recentWorkBytes_.size() > kRecentRecords)
        recentWorkBytes_.pop_front();
    done_.push_back(&record);
}

void RecordWorkers::Work() {
    // Workers neither yield nor show anything: the host belongs to the thread that runs the run.
    SilentHost host;
    while (true) {
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [&] { return stopping_ || (!queue_.empty() && MayStart()); });
            if (stopping_)
                return;
        }
        // Taken before the record leaves the queue and given back after it is in the done list,
        // so this thread is either waiting or inside the gate (see imaging::EngineUse).
        imaging::EngineUse engine;
        Queued next{};
        bool overlapped = false;
        std::uint64_t startsBefore = 0;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            if (queue_.empty() || !MayStart())
                continue;
            next = queue_.front();
            queue_.pop_front();
            overlapped = inWork_ > 0;
            ++inWork_;
            aloneInWork_ = next.alone;
            startsBefore = ++starts_;
        }
        RecordWork& record = *next.record;
        const std::uint64_t shortfallsBefore = imaging::ResourceShortfallsOnThisThread();
        const std::uint64_t readBytes = run::BytesHeld(record);
        try {
            WorkOnRecord(setup_, record, host);
        } catch (...) {
            // Every step is guarded; this is a failure of a report itself (out of memory).
            record.result.reports.push_back(
                {DescribeCurrentException(), std::string(kRunLocation), 0});
        }
        // The most the record took at once: its field as read, its picture in the engine and
        // what it keeps for the commit.
        const imaging::cDIBSection& picture = record.result.picture.Image();
        const auto pixels = static_cast<std::uint64_t>(std::max(picture.dib_width(), 0)) *
                            static_cast<std::uint64_t>(std::max(picture.dib_height(), 0));
        const std::uint64_t workBytes =
            readBytes + run::BytesHeld(record) + pixels * imaging::EngineBytesPerPixel();
        const bool shortOfResources = imaging::ResourceShortfallsOnThisThread() != shortfallsBefore;
        bool shortWhileShared = false;
        {
            std::lock_guard lock(mutex_);
            overlapped = overlapped || inWork_ > 1 || starts_ != startsBefore;
            shortWhileShared = shortOfResources && overlapped && !next.alone;
        }
        if (StreamedFieldLeftToWorker(record) && !shortWhileShared)
            KillFile(host, RecordWorkFile(setup_, record.read.number));
        {
            std::lock_guard lock(mutex_);
            record.result.shortWhileShared = shortWhileShared;
            Finished(record, workBytes);
        }
        finished_.notify_all();
        queued_.notify_all();
    }
}

unsigned DefaultJobs() {
    if (const char* text = std::getenv("PICTROVA_JOBS")) {
        const long jobs = std::strtol(text, nullptr, 10);
        if (jobs > 0 && jobs <= 1024)
            return static_cast<unsigned>(jobs);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

std::uint64_t RecordsInFlightBudget() {
    if (const char* text = std::getenv("PICTROVA_RECORDS_IN_FLIGHT_BYTES")) {
        const unsigned long long bytes = std::strtoull(text, nullptr, 10);
        if (bytes > 0 && bytes < kRecordsInFlightBytes)
            return bytes;
    }
    return kRecordsInFlightBytes;
}

}  // namespace pictrova::run
