#pragma once

#include "fs/RamFile.h"

#include <memory>
#include <string>

namespace Vrenn {

// A member of a zip archive, unpacked whole into memory when opened. Reads never
// touch the archive again; the file is read-only.
class ZipFile : public File {
public:
    // Opens the archive when the name is not empty.
    explicit ZipFile(const std::string& archive = {});
    ~ZipFile() override;
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    // Closes the current member and archive, then opens the named archive (an empty
    // name leaves none open).
    void setArchive(const std::string& archive);
    bool hasArchive() const { return m_archive != nullptr; }
    const std::string& archiveName() const { return m_archiveName; }

    // Finds the member whatever the case of its name and unpacks it. False when there
    // is no archive, no such member, or the member does not inflate to its stated
    // size with a matching checksum.
    bool open(const std::string& member);

    void close() override;
    void resize(uint32_t) override {}
    uint32_t size() override { return m_member ? m_member->size() : 0; }
    uint32_t write(const void*, uint32_t) override { return 0; }
    uint32_t read(void* buf, uint32_t n) override { return m_member ? m_member->read(buf, n) : 0; }
    uint32_t copyFrom(File&, uint32_t) override { return 0; }
    uint32_t seek(int32_t offset, int32_t origin) override {
        return m_member ? m_member->seek(offset, origin) : 0;
    }
    uint32_t tell() override { return m_member ? m_member->tell() : 0; }

private:
    void closeArchive();

    void* m_archive = nullptr; // minizip's unzFile
    std::string m_archiveName;
    std::shared_ptr<RamFile> m_member;
};

} // namespace Vrenn
