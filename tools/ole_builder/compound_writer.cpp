// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole_builder/compound_writer.h"

#include <gsf/gsf.h>

#include <memory>
#include <mutex>

#include "common/error.h"

namespace pictrova::fixtures {

namespace {

// The caller's reference to a libgsf object, dropped when the owner goes.
template <typename T>
std::unique_ptr<T, void (*)(gpointer)> Owned(T* object) {
    return {object, g_object_unref};
}

void StartLibGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

void WriteChildren(GsfOutfile* storage, const CompoundNode& node) {
    for (const CompoundNode& child : node.children) {
        auto out = Owned(gsf_outfile_new_child(storage, child.name.c_str(), child.isStorage));
        if (!out)
            throw Error("cannot create compound-document entry " + child.name);
        if (child.isStorage) {
            gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out.get()), child.classId.data());
            WriteChildren(GSF_OUTFILE(out.get()), child);
        } else if (!child.data.empty() &&
                   !gsf_output_write(out.get(), child.data.size(), child.data.data())) {
            throw Error("cannot write compound-document stream " + child.name);
        }
        if (!gsf_output_close(out.get()))
            throw Error("cannot close compound-document entry " + child.name);
    }
}

}  // namespace

std::vector<std::uint8_t> WriteCompoundDocument(const CompoundNode& root) {
    StartLibGsf();
    auto sink = Owned(gsf_output_memory_new());
    {
        auto outfile = Owned(gsf_outfile_msole_new(sink.get()));
        if (!outfile)
            throw Error("cannot create compound document");
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(outfile.get()), root.classId.data());
        WriteChildren(outfile.get(), root);
        if (!gsf_output_close(GSF_OUTPUT(outfile.get())))
            throw Error("cannot finish compound document");
    }
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    const gsf_off_t size = gsf_output_size(sink.get());
    if (!bytes || size < 0)
        throw Error("compound document is empty");
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace pictrova::fixtures
