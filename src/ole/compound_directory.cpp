// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/compound_directory.h"

#include <algorithm>
#include <vector>

#include "common/byte_reader.h"
#include "common/error.h"

namespace pictrova::ole {

namespace {

constexpr std::size_t kSectorShiftOffset = 0x1E;
constexpr std::size_t kFatSectorCountOffset = 0x2C;
constexpr std::size_t kFirstDirectorySectorOffset = 0x30;
constexpr std::size_t kFirstDifatSectorOffset = 0x44;
constexpr std::size_t kHeaderDifatOffset = 0x4C;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;

constexpr std::size_t kDirectoryEntrySize = 128;
constexpr std::size_t kLeftSiblingOffset = 0x44;
constexpr std::size_t kRightSiblingOffset = 0x48;
constexpr std::size_t kChildOffset = 0x4C;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

// The sectors of a compound document and its allocation table (FAT), located through the header
// and the DIFAT chain. Every read goes through the bounded reader; a sector outside the file is a
// FormatError.
class SectorTable {
  public:
    explicit SectorTable(std::span<const std::uint8_t> document) : document_(document) {
        ByteReader header(document);
        header.seek(kSectorShiftOffset);
        shift_ = header.u16le();
        Enforce(shift_ == 9 || shift_ == 12, "unexpected sector size", kSectorShiftOffset);
        sectorSize_ = std::size_t{1} << shift_;
        sectorsInFile_ = document.size() / sectorSize_;
        header.seek(kFatSectorCountOffset);
        const std::uint32_t fatSectorCount = header.u32le();
        Enforce(fatSectorCount <= sectorsInFile_, "allocation table larger than the file",
                kFatSectorCountOffset);
        header.seek(kFirstDirectorySectorOffset);
        firstDirectorySector_ = header.u32le();
        header.seek(kFirstDifatSectorOffset);
        std::uint32_t difatSector = header.u32le();

        header.seek(kHeaderDifatOffset);
        for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors_.size() < fatSectorCount; ++i)
            fatSectors_.push_back(header.u32le());
        for (std::size_t hops = 0; fatSectors_.size() < fatSectorCount; ++hops) {
            Enforce(hops <= sectorsInFile_ && difatSector != kEndOfChain, "broken DIFAT chain");
            ByteReader difat = Sector(difatSector);
            for (std::size_t i = 0; i + 1 < sectorSize_ / 4 && fatSectors_.size() < fatSectorCount;
                 ++i)
                fatSectors_.push_back(difat.u32le());
            difat.seek(sectorSize_ - 4);
            difatSector = difat.u32le();
        }
    }

    std::size_t sectorSize() const { return sectorSize_; }
    std::size_t shift() const { return shift_; }
    std::size_t sectorsInFile() const { return sectorsInFile_; }
    std::uint32_t firstDirectorySector() const { return firstDirectorySector_; }
    const std::vector<std::uint32_t>& fatSectors() const { return fatSectors_; }

    ByteReader Sector(std::uint32_t sector) const {
        const std::uint64_t offset = (std::uint64_t{sector} + 1) << shift_;
        Enforce(offset + sectorSize_ <= document_.size(), "sector outside the file", offset);
        return ByteReader(document_.subspan(static_cast<std::size_t>(offset), sectorSize_), offset);
    }

    // The sectors of the chain starting at `first`; a chain longer than the file is a loop.
    std::vector<std::uint32_t> Chain(std::uint32_t first) const {
        std::vector<std::uint32_t> chain;
        const std::size_t perFatSector = sectorSize_ / 4;
        for (std::uint32_t sector = first; sector != kEndOfChain;) {
            Enforce(sector < kMaxRegularSector && chain.size() < sectorsInFile_,
                    "broken sector chain");
            chain.push_back(sector);
            const std::size_t fatIndex = sector / perFatSector;
            Enforce(fatIndex < fatSectors_.size(), "sector beyond the allocation table");
            ByteReader fat = Sector(fatSectors_[fatIndex]);
            fat.seek(sector % perFatSector * 4);
            sector = fat.u32le();
        }
        return chain;
    }

  private:
    std::span<const std::uint8_t> document_;
    std::size_t shift_ = 0;
    std::size_t sectorSize_ = 0;
    std::size_t sectorsInFile_ = 0;
    std::uint32_t firstDirectorySector_ = kEndOfChain;
    std::vector<std::uint32_t> fatSectors_;
};

struct DirectoryLinks {
    std::uint32_t left, right, child;
};

}  // namespace

std::size_t CompoundDocumentExtent(std::span<const std::uint8_t> document) {
    try {
        const SectorTable table(document);
        std::uint64_t sectorsUsed = 0;
        std::uint64_t index = 0;
        for (std::uint32_t fatSector : table.fatSectors()) {
            ByteReader fat = table.Sector(fatSector);
            for (std::size_t i = 0; i < table.sectorSize() / 4; ++i, ++index) {
                if (fat.u32le() != kFreeSector)
                    sectorsUsed = index + 1;
            }
        }
        const std::uint64_t extent = (sectorsUsed + 1) << table.shift();
        return static_cast<std::size_t>(std::min<std::uint64_t>(extent, document.size()));
    } catch (const Error&) {
        return document.size();
    }
}

bool DirectoryIsWalkable(std::span<const std::uint8_t> document) {
    try {
        const SectorTable table(document);
        const std::vector<std::uint32_t> directorySectors =
            table.Chain(table.firstDirectorySector());
        const std::size_t perSector = table.sectorSize() / kDirectoryEntrySize;
        const std::size_t entryCount = directorySectors.size() * perSector;
        auto links = [&](std::uint32_t id) {
            ByteReader entry = table.Sector(directorySectors[id / perSector]);
            entry.seek(id % perSector * kDirectoryEntrySize + kLeftSiblingOffset);
            DirectoryLinks l{};
            l.left = entry.u32le();
            l.right = entry.u32le();
            l.child = entry.u32le();
            return l;
        };
        if (entryCount == 0)
            return false;

        // Depth-first over left, right and child links with our own stack, the way libgsf
        // recurses; an entry number outside the directory is no link.
        std::vector<bool> seen(entryCount, false);
        std::vector<std::pair<std::uint32_t, std::size_t>> pending{{0, 0}};
        std::size_t visited = 0;
        while (!pending.empty()) {
            const auto [id, depth] = pending.back();
            pending.pop_back();
            if (seen[id] || ++visited > kMaxDirectoryEntries || depth > kMaxDirectoryDepth)
                return false;
            seen[id] = true;
            const DirectoryLinks l = links(id);
            for (std::uint32_t next : {l.left, l.right, l.child}) {
                if (next == kNoEntry || next >= entryCount)
                    continue;
                pending.emplace_back(next, depth + 1);
            }
        }
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace pictrova::ole
