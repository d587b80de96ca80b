#include "geometry/ModelLoaderFactory.h"

#include "core/Log.h"
#include "geometry/ModelLoader.h"
#include "geometry/VmshLoader.h"

namespace Vrenn {

ModelLoaderFactory::ModelLoaderFactory() = default;
ModelLoaderFactory::~ModelLoaderFactory() = default;

std::shared_ptr<ModelLoaderFactory>
ModelLoaderFactory::createDefault(std::shared_ptr<ModelObjectFactory> objects) {
    auto factory = std::make_shared<ModelLoaderFactory>();
    factory->registerLoader(VmshLoader::kExtension,
                            std::make_shared<VmshLoader>(std::move(objects)));
    return factory;
}

bool ModelLoaderFactory::registerLoader(const std::string& extension,
                                        std::shared_ptr<ModelLoader> loader) {
    if (!loader) return false;
    return m_loaders.emplace(extension, std::move(loader)).second;
}

std::shared_ptr<ModelLoader> ModelLoaderFactory::loader(const std::string& extension) const {
    const auto found = m_loaders.find(extension);
    return found == m_loaders.end() ? nullptr : found->second;
}

std::string ModelLoaderFactory::extensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::shared_ptr<ModelLoader> ModelLoaderFactory::loaderFor(const std::string& name,
                                                           const char* action) const {
    const std::string extension = extensionOf(name);
    auto found = loader(extension);
    if (!found)
        logMessage(std::string("Failed to ") + action + " " + name +
                   ": no model loader for the extension \"" + extension + "\"\n");
    return found;
}

bool ModelLoaderFactory::load(const std::string& name, std::shared_ptr<Model>& model, bool upload) {
    auto modelLoader = loaderFor(name, "load");
    return modelLoader && modelLoader->load(name, model, upload);
}

bool ModelLoaderFactory::save(const std::string& name, const Model& model) {
    auto modelLoader = loaderFor(name, "save");
    return modelLoader && modelLoader->save(name, model);
}

} // namespace Vrenn
