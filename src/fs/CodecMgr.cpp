#include "fs/CodecMgr.h"

#include "fs/DDSCodec.h"
#include "fs/EXRCodec.h"
#include "fs/JPEGCodec.h"
#include "fs/PNGCodec.h"
#include "fs/RGBECodec.h"

namespace Vrenn {

CodecMgr::~CodecMgr() {
    m_codecs.clear();
}

bool CodecMgr::registerCodec(std::shared_ptr<Codec> codec) {
    if (!codec) return false;
    const std::string name = codec->getName();
    return m_codecs.emplace(name, std::move(codec)).second;
}

std::shared_ptr<Codec> CodecMgr::getCodec(const std::string& name) const {
    const auto found = m_codecs.find(name);
    return found == m_codecs.end() ? nullptr : found->second;
}

std::optional<std::string> CodecMgr::extensionOf(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    return fileName.substr(dot + 1);
}

std::shared_ptr<Codec> CodecMgr::codecForFile(const std::string& fileName) {
    const auto extension = extensionOf(fileName);
    const CodecMgr* manager = instance();
    if (!extension || !manager) return nullptr;
    return manager->getCodec(*extension);
}

void registerStandardCodecs(CodecMgr& manager, const CodecOptions& options) {
    manager.registerCodec(std::make_shared<DDSCodec>("dds"));
    manager.registerCodec(std::make_shared<JPEGCodec>("jpg"));
    manager.registerCodec(std::make_shared<JPEGCodec>("jpeg"));
    manager.registerCodec(std::make_shared<RGBECodec>("hdr", options.maxEnvLuminance));
    manager.registerCodec(std::make_shared<PNGCodec>("png"));
    manager.registerCodec(std::make_shared<EXRCodec>("exr"));
}

} // namespace Vrenn
