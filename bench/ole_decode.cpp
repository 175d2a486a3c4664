// SPDX-License-Identifier: GPL-3.0-or-later
// The OLE object decoder: time per field and throughput for each class family at a small and
// a large size, and the peak C++ heap a decode adds on top of the field itself (counted by this
// program's operator new; libgsf's and the image engine's own allocations are not included).
//
//   bench_ole_decode [rounds]     (default 5)

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "ole/ole_object_decoder.h"
#include "ole_builder/ole_fields.h"

using namespace pictrova;
namespace fx = pictrova::fixtures;

namespace {
std::size_t gLiveBytes = 0;
std::size_t gPeakBytes = 0;
}  // namespace

// Each block carries its size in front so that delete can count it back.
void* operator new(std::size_t size) {
    auto* block = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (!block)
        throw std::bad_alloc();
    *block = size;
    gLiveBytes += size;
    gPeakBytes = std::max(gPeakBytes, gLiveBytes);
    return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}
void operator delete(void* p) noexcept {
    if (!p)
        return;
    auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - sizeof(std::max_align_t));
    gLiveBytes -= *block;
    std::free(block);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

struct Case {
    std::string name;
    std::function<fx::Bytes()> build;
};

fx::Bytes Filler(std::size_t size) {
    fx::Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(i * 13 % 251 + 1);
    return b;
}

void RunCase(const Case& c, int rounds) {
    const fx::Bytes field = c.build();
    std::vector<double> seconds;
    std::size_t extraPeak = 0;
    bool ok = true;
    for (int i = 0; i < rounds; ++i) {
        std::vector<std::uint8_t> bytes = field;
        const std::size_t live = gLiveBytes;
        gPeakBytes = live;
        const auto start = std::chrono::steady_clock::now();
        ok = ole::DecodeOleObject(std::move(bytes)).ok() && ok;
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        extraPeak = std::max(extraPeak, gPeakBytes - live);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double megabytes = static_cast<double>(field.size()) / (1024.0 * 1024.0);
    const double extraMiB = static_cast<double>(extraPeak) / (1024.0 * 1024.0);
    std::printf("| %-29s | %9.2f | %10.3f | %9.0f | %13.1f | %-4s |\n", c.name.c_str(), megabytes,
                median * 1000, megabytes / median, extraMiB, ok ? "ok" : "FAIL");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::vector<Case> cases = {
        {"static DIB 24-bit 256x256",
         [] { return fx::BuildStaticDib(fx::MakePackedDib(256, 256, 24)); }},
        {"static DIB 24-bit 2048x2048",
         [] { return fx::BuildStaticDib(fx::MakePackedDib(2048, 2048, 24)); }},
        {"static metafile 96x48",
         [] { return fx::BuildStaticMetafile(fx::MakeMetafile(200, 100), 8, 2540, 1270); }},
        {"static metafile 1920x960",
         [] { return fx::BuildStaticMetafile(fx::MakeMetafile(2000, 1000), 8, 50800, 25400); }},
        {"package 1 MiB",
         [] {
             fx::PackageContents p;
             p.file = Filler(1 << 20);
             return fx::BuildPackage(p);
         }},
        {"package 32 MiB",
         [] {
             fx::PackageContents p;
             p.file = Filler(32 << 20);
             return fx::BuildPackage(p);
         }},
        {"paint picture 2048x2048",
         [] { return fx::BuildPaintPicture(fx::MakeBmpFile(2048, 2048)); }},
        {"PDF (CONTENTS) 1 MiB", [] { return fx::BuildPdfObject(Filler(1 << 20)); }},
        {"PDF (CONTENTS) 32 MiB", [] { return fx::BuildPdfObject(Filler(32 << 20)); }},
        {"HP desk (Ole10Native) 12 MiB",
         [] { return fx::BuildDeskImageObject(fx::MakeBmpFile(2048, 2048)); }},
        {"package 32 MiB, German name",
         [] {
             fx::PackageContents p;
             p.displayName = "Objekt-Manager-Shellobjekt";
             p.file = Filler(32 << 20);
             return fx::BuildPackage(p);
         }},
        {"Word document", [] { return fx::BuildOfficeObject(fx::OfficeKind::Word); }},
        // The stored preview is copied before the class branch runs, whether or not it is used.
        {"Excel sheet, 12 MiB DIB kept",
         [] {
             fx::Bytes field = fx::BuildOfficeObject(fx::OfficeKind::Excel);
             const fx::Bytes tail = fx::MakeDibPresentation(fx::MakePackedDib(2048, 2048, 24));
             // Replace the builder's metafile presentation: the native data ends where it began.
             fx::Bytes document;
             fx::BuildOfficeObject(fx::OfficeKind::Excel, &document);
             const std::size_t nativeEnd = 20 + 14 + 14 + 12 + 14 + 12 + document.size();
             field.resize(nativeEnd);
             field.insert(field.end(), tail.begin(), tail.end());
             return field;
         }},
        {"Word 2007, 12 MiB DIB preview",
         [] {
             return fx::BuildOpenXmlWordObject(
                 fx::MakeDibPresentation(fx::MakePackedDib(2048, 2048, 24)));
         }},
        {"Word 2007, metafile preview",
         [] {
             return fx::BuildOpenXmlWordObject(
                 fx::MakeMetafilePresentation(fx::MakeMetafile(2000, 1000), 50800, 25400));
         }},
        {"bare PNG 1024x1024", [] { return fx::MakePngFile(1024, 1024); }},
        {"photo editor 24-bit 2000x2000",
         [] { return fx::BuildPhotoEditorObject(fx::MakePhotoEditorStream(3, 2000, 2000)); }},
        {"photo editor 8-bit 2000x2000",
         [] { return fx::BuildPhotoEditorObject(fx::MakePhotoEditorStream(2, 2000, 2000)); }},
    };
    std::printf("Decoder, median of %d rounds per field, one core\n\n", rounds);
    std::printf("| %-29s | %9s | %10s | %9s | %13s | %-4s |\n", "object", "field MiB", "ms/field",
                "MiB/s", "extra heap MiB", "");
    std::printf(
        "|-------------------------------|-----------|------------|-----------|---------------|----"
        "--|\n");
    std::fflush(stdout);
    for (const Case& c : cases)
        RunCase(c, rounds);
    return 0;
}
