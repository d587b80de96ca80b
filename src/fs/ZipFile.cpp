#include "fs/ZipFile.h"

#include <minizip/unzip.h>
#include <vector>

namespace Vrenn {

namespace {
// minizip's case-insensitive name comparison.
constexpr int kCaseInsensitive = 2;
constexpr uint32_t kChunkSize = 64 * 1024;
} // namespace

ZipFile::ZipFile(const std::string& archive) {
    if (!archive.empty()) setArchive(archive);
}

ZipFile::~ZipFile() {
    close();
    closeArchive();
}

void ZipFile::closeArchive() {
    if (m_archive) unzClose(static_cast<unzFile>(m_archive));
    m_archive = nullptr;
}

void ZipFile::setArchive(const std::string& archive) {
    close();
    closeArchive();
    m_archiveName = archive;
    if (!archive.empty()) m_archive = unzOpen64(archive.c_str());
}

void ZipFile::close() {
    if (m_member) m_member->close();
    m_member.reset();
}

bool ZipFile::open(const std::string& member) {
    if (!m_archive) return false;
    close();
    auto* zip = static_cast<unzFile>(m_archive);
    if (unzLocateFile(zip, member.c_str(), kCaseInsensitive) != UNZ_OK) return false;

    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    if (info.uncompressed_size > UINT32_MAX) return false;
    const auto expected = static_cast<uint32_t>(info.uncompressed_size);

    if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
    // The member is read in chunks rather than into one block of the stated size, so
    // an archive that lies about its sizes cannot make us allocate more than it holds.
    auto inner = std::make_shared<RamFile>();
    std::vector<uint8_t> chunk(kChunkSize);
    uint64_t total = 0;
    bool ok = true;
    for (;;) {
        const int got = unzReadCurrentFile(zip, chunk.data(), kChunkSize);
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) break;
        total += static_cast<uint32_t>(got);
        if (total > expected) {
            ok = false;
            break;
        }
        inner->write(chunk.data(), static_cast<uint32_t>(got));
    }
    // Closing checks the CRC once the whole member was read.
    const int closed = unzCloseCurrentFile(zip);
    if (!ok || total != expected || closed != UNZ_OK) return false;

    inner->rewind();
    m_member = std::move(inner);
    return true;
}

} // namespace Vrenn
