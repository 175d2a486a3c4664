// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A shared library the program does not link but opens the first time it is needed, with the
// functions it calls taken into a table of typed pointers. Libraries that only a few databases or
// records need (libgsf and what it pulls in, libcrypto) cost every start of every program their
// loading and start-up code when linked; opened on use, only the runs that need them pay.
//
// A library is opened once for the process and never closed. When it cannot be opened, or lacks
// a function, the reason is kept (dlerror()'s text, or the missing name) for the caller's
// message; the callers that need the library then fail, and nothing else does.

#include <string>

namespace pictrova {

class LibraryOnUse {
  public:
    // Opens `file` (a soname searched the loader's usual way, or a path).
    explicit LibraryOnUse(const std::string& file);

    // Points `slot` at the library's function `name`; when the library has none, the slot stays
    // null and failure() names it. Call only with a function pointer type of the library's own
    // header (decltype(&::name)), so the types come from there.
    template <typename Function>
    void Take(Function& slot, const char* name) {
        slot = reinterpret_cast<Function>(Symbol(name));
    }

    bool opened() const { return handle_ != nullptr; }

    // Empty when the library opened and every function taken so far was found; else why not.
    const std::string& failure() const { return failure_; }

  private:
    void* Symbol(const char* name);

    std::string file_;
    void* handle_ = nullptr;
    std::string failure_;
};

// A library's table of calls as it was loaded, and why it could not be when it could not (empty
// when every call was found).
template <typename Calls>
struct LoadedCalls {
    Calls calls{};
    std::string failure;
};

// The file to open for a library: $`variable` when set (for the tests, as the image engine's
// module is named), else `soname`, the name the build found the library under.
std::string LibraryFile(const char* variable, const char* soname);

}  // namespace pictrova
