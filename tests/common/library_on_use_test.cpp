// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/library_on_use.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "test_paths.h"

namespace pictrova {
namespace {

// Real libraries of the system: libc holds strlen and no libgsf function.
TEST(LibraryOnUse, OpensTakesAndTellsWhyNot) {
    testing::TempDir dir;
    const std::string missing = (dir / "nowhere" / "libmissing.so").string();
    const std::string text = (dir / "text.so").string();
    std::ofstream(text) << std::string(4096, 'x');
    struct Case {
        const char* name;
        std::string file;
        const char* function;
        bool opens;
        std::string failure;  // empty: the function is found
    };
    const Case cases[] = {
        {"missing", missing, "strlen", false,
         missing + ": cannot open shared object file: No such file or directory"},
        {"not a shared object", text, "strlen", false, text + ": invalid ELF header"},
        {"without the function", "libc.so.6", "gsf_init", true, "libc.so.6: no function gsf_init"},
        {"found", "libc.so.6", "strlen", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryOnUse library(c.file);
        decltype(&::strlen) length = nullptr;
        EXPECT_EQ(library.opened(), c.opens);
        library.Take(length, c.function);
        EXPECT_EQ(library.failure(), c.failure);
        ASSERT_EQ(length != nullptr, c.failure.empty());
        if (length) {
            EXPECT_EQ(length("four"), 4U);
        }
    }
}

// The first function missing is the one named, whatever is taken after it.
TEST(LibraryOnUse, FailureNamesTheFirstMissingFunction) {
    LibraryOnUse library("libc.so.6");
    decltype(&::strlen) first = nullptr, second = nullptr, third = nullptr;
    library.Take(first, "no_such_function");
    library.Take(second, "strlen");
    library.Take(third, "another_missing_function");
    EXPECT_EQ(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(library.failure(), "libc.so.6: no function no_such_function");
}

TEST(LibraryFile, TheVariableNamesTheFileWhenSet) {
    const struct {
        const char* value;  // null: unset
        const char* file;
    } cases[] = {
        {nullptr, "libgsf-1.so.114"}, {"", "libgsf-1.so.114"}, {"/x/libgsf.so", "/x/libgsf.so"}};
    for (const auto& c : cases) {
        if (c.value)
            setenv("PICTROVA_TEST_LIBRARY", c.value, 1);
        else
            unsetenv("PICTROVA_TEST_LIBRARY");
        EXPECT_EQ(LibraryFile("PICTROVA_TEST_LIBRARY", "libgsf-1.so.114"), c.file);
    }
    unsetenv("PICTROVA_TEST_LIBRARY");
}

}  // namespace
}  // namespace pictrova
