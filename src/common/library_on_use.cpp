// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/library_on_use.h"

#include <dlfcn.h>

#include <cstdlib>

namespace pictrova {

LibraryOnUse::LibraryOnUse(const std::string& file) : file_(file) {
    // RTLD_LOCAL: the library's names are reached only through this handle, so a library the
    // process links already (a test that calls it directly) is found by dlsym all the same.
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        failure_ = reason ? reason : file + ": cannot be opened";
    }
}

void* LibraryOnUse::Symbol(const char* name) {
    if (handle_ == nullptr)
        return nullptr;
    dlerror();
    void* address = dlsym(handle_, name);
    if (address == nullptr && failure_.empty())
        failure_ = file_ + ": no function " + name;
    return address;
}

std::string LibraryFile(const char* variable, const char* soname) {
    const char* named = std::getenv(variable);
    return named != nullptr && *named != '\0' ? named : soname;
}

}  // namespace pictrova
