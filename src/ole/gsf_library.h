// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// libgsf, opened the first time a compound document is read (common/library_on_use.h): the
// functions the structured-storage component calls, typed by libgsf's and GObject's own headers.
// Only compound_document.cpp uses it.

#include <gsf/gsf.h>

namespace pictrova::ole {

struct GsfCalls {
    decltype(&::gsf_init) init;
    decltype(&::gsf_input_memory_new) inputMemoryNew;
    decltype(&::gsf_infile_msole_new) infileMsoleNew;
    decltype(&::gsf_infile_get_type) infileGetType;
    decltype(&::gsf_infile_num_children) infileNumChildren;
    decltype(&::gsf_infile_name_by_index) infileNameByIndex;
    decltype(&::gsf_infile_child_by_index) infileChildByIndex;
    decltype(&::gsf_input_size) inputSize;
    decltype(&::gsf_input_read) inputRead;
    // GObject's, reached through libgsf, which links it.
    decltype(&::g_object_unref) objectUnref;
    decltype(&::g_type_check_instance_is_a) instanceIsA;
};

// The calls of libgsf, opened and started (gsf_init) on the first call, once for the process.
// Throws an Error naming the library and the loader's reason when it cannot be opened or lacks a
// function; the message also goes with the record's program messages. $PICTROVA_GSF_LIBRARY names
// the file to open instead of the soname the build found.
const GsfCalls& LoadedGsf();

}  // namespace pictrova::ole
