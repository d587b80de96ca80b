#pragma once

#include "core/Singleton.h"
#include "fs/Codec.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace Vrenn {

// The image codecs by name, which is the file-name extension each one handles.
// Names are compared byte for byte: "DDS" does not find "dds".
class CodecMgr : public Singleton<CodecMgr> {
public:
    CodecMgr() = default;
    ~CodecMgr();

    // Registers codec under its name. A name already present keeps its first codec;
    // returns whether codec was added.
    bool registerCodec(std::shared_ptr<Codec> codec);
    std::shared_ptr<Codec> getCodec(const std::string& name) const;

    const std::map<std::string, std::shared_ptr<Codec>>& codecs() const { return m_codecs; }

    // The text after the last '.' of fileName, or nothing when it has no dot.
    static std::optional<std::string> extensionOf(const std::string& fileName);
    // The codec of the process-wide manager for fileName's extension, or empty.
    static std::shared_ptr<Codec> codecForFile(const std::string& fileName);

private:
    std::map<std::string, std::shared_ptr<Codec>> m_codecs;
};

// What the standard codecs are made with.
struct CodecOptions {
    // The luminance range of HDR pictures read by "hdr" (0 stands for 32).
    float maxEnvLuminance = 0.0f;
};

// The program's codec registrations, in order: "dds", "jpg", "jpeg", "hdr", "png",
// "exr".
void registerStandardCodecs(CodecMgr& manager, const CodecOptions& options = {});

} // namespace Vrenn
