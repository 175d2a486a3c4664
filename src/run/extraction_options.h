// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The user's choices as the run, the naming and the converter see them. Each read returns the
// choice as it is at that moment: the wizard's implementation reads its controls, so a choice
// changed while a run yields is seen at the run's next read. Every option group can have nothing
// chosen; each enumeration's None stands for that.

#include <string>

namespace pictrova::run {

enum class ReadMethod {
    None,
    ByteToByte,  // Option1, "Method 1 (Byte-to-byte)"
    Recordset,   // Option2, "Method 2 (Recordset)"
};

enum class Naming {
    None,
    FixedPrefix,        // Option3
    TableName,          // Option4
    FieldName,          // Option5
    TableAndFieldName,  // Option6
    FieldText,          // Option7
    OriginalName,       // Option16: an attached file's or a package's own file name
};

// Option8 .. Option14; Original (Option15): every decoded object written as the file it holds,
// with the extension of its kind, nothing loaded or converted.
enum class OutputFormat { None, BMP, JPG, PNG, GIF, TIFF, TGA, PCX, Original };

class ExtractionOptions {
  public:
    virtual ~ExtractionOptions() = default;

    virtual std::string table() const = 0;         // selected row of ListView1
    virtual std::string pictureField() const = 0;  // selected row of ListView2
    virtual ReadMethod readMethod() const = 0;
    virtual Naming naming() const = 0;
    virtual std::string prefix() const = 0;     // Text1
    virtual std::string nameField() const = 0;  // Combo1
    virtual OutputFormat format() const = 0;
    virtual int quality() const = 0;               // Slider1, 0..100
    virtual std::string outputFolder() const = 0;  // Text2
};

// The choices as plain values, with the options page's defaults.
struct ExtractionChoices {
    std::string table;
    std::string pictureField;
    ReadMethod readMethod = ReadMethod::ByteToByte;
    Naming naming = Naming::FixedPrefix;
    std::string prefix = "Output#";
    std::string nameField;
    OutputFormat format = OutputFormat::BMP;
    int quality = 85;
    std::string outputFolder;

    bool operator==(const ExtractionChoices&) const = default;
};

// The options' choices as they are now.
inline ExtractionChoices ChoicesOf(const ExtractionOptions& options) {
    return {.table = options.table(),
            .pictureField = options.pictureField(),
            .readMethod = options.readMethod(),
            .naming = options.naming(),
            .prefix = options.prefix(),
            .nameField = options.nameField(),
            .format = options.format(),
            .quality = options.quality(),
            .outputFolder = options.outputFolder()};
}

// Choices fixed for the whole run (the command line's).
class FixedExtractionOptions : public ExtractionOptions {
  public:
    explicit FixedExtractionOptions(ExtractionChoices choices) : choices_(std::move(choices)) {}

    std::string table() const override { return choices_.table; }
    std::string pictureField() const override { return choices_.pictureField; }
    ReadMethod readMethod() const override { return choices_.readMethod; }
    Naming naming() const override { return choices_.naming; }
    std::string prefix() const override { return choices_.prefix; }
    std::string nameField() const override { return choices_.nameField; }
    OutputFormat format() const override { return choices_.format; }
    int quality() const override { return choices_.quality; }
    std::string outputFolder() const override { return choices_.outputFolder; }

    ExtractionChoices& choices() { return choices_; }

  private:
    ExtractionChoices choices_;
};

}  // namespace pictrova::run
