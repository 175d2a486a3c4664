// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small compound documents for the fixtures, written with libgsf: the storages and streams the
// compound-document classes keep their data in. The program only reads them
// (src/ole/compound_document.h).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pictrova::fixtures {

// A storage or stream to write.
struct CompoundNode {
    std::string name;
    bool isStorage = false;
    std::vector<std::uint8_t> data;      // streams
    std::vector<CompoundNode> children;  // storages
    std::array<std::uint8_t, 16> classId{};

    static CompoundNode Stream(std::string name, std::vector<std::uint8_t> data) {
        return {std::move(name), false, std::move(data), {}, {}};
    }
    static CompoundNode Storage(std::string name, std::vector<CompoundNode> children) {
        return {std::move(name), true, {}, std::move(children), {}};
    }
};

// Writes a compound document whose root storage holds `root.children` (the root's name is not
// stored; its class id is). Throws pictrova::Error when libgsf fails.
std::vector<std::uint8_t> WriteCompoundDocument(const CompoundNode& root);

}  // namespace pictrova::fixtures
