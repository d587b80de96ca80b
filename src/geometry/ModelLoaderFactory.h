#pragma once

#include <map>
#include <memory>
#include <string>

namespace Vrenn {

class Model;
class ModelLoader;
class ModelObjectFactory;

// Picks the model loader for a file by its extension (the text after the last ".").
class ModelLoaderFactory {
public:
    ModelLoaderFactory();
    ~ModelLoaderFactory();
    ModelLoaderFactory(const ModelLoaderFactory&) = delete;
    ModelLoaderFactory& operator=(const ModelLoaderFactory&) = delete;

    // A factory with every loader the engine has (the vmsh loader), building its
    // objects through objects (plain CPU-side objects when empty).
    static std::shared_ptr<ModelLoaderFactory>
    createDefault(std::shared_ptr<ModelObjectFactory> objects = {});

    // Registers a loader under an extension (without the dot). An extension that is
    // already taken keeps its first loader; the result says whether this one was added.
    bool registerLoader(const std::string& extension, std::shared_ptr<ModelLoader> loader);
    // The loader for an extension, or empty.
    std::shared_ptr<ModelLoader> loader(const std::string& extension) const;

    // Loads through the loader of the name's extension. False, with model untouched,
    // when the loader fails (it logs why) or there is none: that logs
    // "Failed to load <name>: no model loader for the extension \"<ext>\"".
    bool load(const std::string& name, std::shared_ptr<Model>& model, bool upload);
    // Saves through the loader of the name's extension; without one, logs
    // "Failed to save <name>: ..." as load does and returns false.
    bool save(const std::string& name, const Model& model);

    // The text after the last "." of name; empty when name has no ".".
    static std::string extensionOf(const std::string& name);

private:
    std::shared_ptr<ModelLoader> loaderFor(const std::string& name, const char* action) const;

    std::map<std::string, std::shared_ptr<ModelLoader>> m_loaders;
};

} // namespace Vrenn
