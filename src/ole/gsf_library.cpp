// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/gsf_library.h"

#include <string>

#include "common/child_output.h"
#include "common/error.h"
#include "common/library_on_use.h"

namespace pictrova::ole {

namespace {

LoadedCalls<GsfCalls> Load() {
    LibraryOnUse library(LibraryFile("PICTROVA_GSF_LIBRARY", PICTROVA_GSF_SONAME));
    LoadedCalls<GsfCalls> loaded;
    GsfCalls& c = loaded.calls;
    library.Take(c.init, "gsf_init");
    library.Take(c.inputMemoryNew, "gsf_input_memory_new");
    library.Take(c.infileMsoleNew, "gsf_infile_msole_new");
    library.Take(c.infileGetType, "gsf_infile_get_type");
    library.Take(c.infileNumChildren, "gsf_infile_num_children");
    library.Take(c.infileNameByIndex, "gsf_infile_name_by_index");
    library.Take(c.infileChildByIndex, "gsf_infile_child_by_index");
    library.Take(c.inputSize, "gsf_input_size");
    library.Take(c.inputRead, "gsf_input_read");
    library.Take(c.objectUnref, "g_object_unref");
    library.Take(c.instanceIsA, "g_type_check_instance_is_a");
    loaded.failure = library.failure();
    if (loaded.failure.empty())
        c.init();
    return loaded;
}

}  // namespace

const GsfCalls& LoadedGsf() {
    static const LoadedCalls<GsfCalls> loaded = Load();
    if (!loaded.failure.empty()) {
        const std::string message = "libgsf could not be loaded: " + loaded.failure;
        // The compound-document readers answer only "found" or "not found": the reason goes
        // with the record's messages as well.
        NoteChildOutputOnce("pictrova", message);
        throw Error(message);
    }
    return loaded.calls;
}

}  // namespace pictrova::ole
