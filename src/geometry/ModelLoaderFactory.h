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
    // when there is no such loader or the loader fails.
    bool load(const std::string& name, std::shared_ptr<Model>& model, bool upload);
    // Saves through the loader of the name's extension; false without one.
    bool save(const std::string& name, const Model& model);

    // Why the last load or save failed, in words; empty after a success.
    const std::string& lastError() const { return m_lastError; }

    // The text after the last "." of name; empty when name has no ".".
    static std::string extensionOf(const std::string& name);

private:
    std::shared_ptr<ModelLoader> loaderFor(const std::string& name);

    std::map<std::string, std::shared_ptr<ModelLoader>> m_loaders;
    std::string m_lastError;
};

} // namespace Vrenn
