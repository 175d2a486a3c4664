// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/recordset.h"

#include <cctype>

#include "common/error.h"

namespace pictrova::database {
namespace {

constexpr int kSyntaxErrorInFrom = 3131;

[[noreturn]] void ThrowSyntaxError() {
    throw Error("Syntax error in FROM clause.", kSyntaxErrorInFrom);
}

// The two source texts the program writes, in the query language's own terms: SELECT, *,
// FROM, the table name in brackets or backquotes (the closing one doubled inside the name) or
// bare, an optional semicolon.
class SourceParser {
  public:
    explicit SourceParser(std::string_view text) : text_(text) {}

    std::string TableName() {
        Keyword("SELECT");
        Symbol('*');
        Keyword("FROM");
        SkipBlanks();
        std::string name;
        if (Peek('[')) {
            name = Enclosed(']');
        } else if (Peek('`')) {
            name = Enclosed('`');
        } else {
            std::size_t start = pos_;
            while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != ';')
                ++pos_;
            name = text_.substr(start, pos_ - start);
        }
        if (name.empty())
            ThrowSyntaxError();
        SkipBlanks();
        if (Peek(';'))
            SkipBlanks();
        if (pos_ != text_.size())
            ThrowSyntaxError();
        return name;
    }

  private:
    static bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_]))
            ++pos_;
    }
    bool Peek(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void Keyword(std::string_view word) {
        SkipBlanks();
        if (text_.size() - pos_ < word.size())
            ThrowSyntaxError();
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(text_[pos_ + i])) != word[i])
                ThrowSyntaxError();
        pos_ += word.size();
    }
    void Symbol(char c) {
        SkipBlanks();
        if (!Peek(c))
            ThrowSyntaxError();
    }
    // The closing character written twice stands for one inside the name (`Pic]]x` is "Pic]x").
    std::string Enclosed(char close) {
        std::string name;
        while (true) {
            const std::size_t end = text_.find(close, pos_);
            if (end == std::string_view::npos)
                ThrowSyntaxError();
            name += text_.substr(pos_, end - pos_);
            pos_ = end + 1;
            if (!Peek(close))
                return name;
            name += close;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string TableNameFromSource(std::string_view source) {
    return SourceParser(source).TableName();
}

}  // namespace pictrova::database
