#pragma once

#include "core/NamedObject.h"

#include <memory>
#include <string>

namespace Vrenn {

class Model;

// Reads and writes models of one file format; its name is the format's file extension.
class ModelLoader : public NamedObject {
public:
    explicit ModelLoader(std::string name) : NamedObject(std::move(name)) {}
    ModelLoader(const ModelLoader&) = delete;
    ModelLoader& operator=(const ModelLoader&) = delete;

    // Reads the named file; on success the new model is exchanged into model. On
    // failure model is left as it was and false is returned. With upload set, each
    // mesh gets its GPU buffers as soon as it is read.
    virtual bool load(const std::string& name, std::shared_ptr<Model>& model, bool upload) = 0;
    // Writes model to the named file.
    virtual bool save(const std::string& name, const Model& model) = 0;

    // Why the last load or save failed, in words, for tools to show; empty after a
    // success.
    const std::string& lastError() const { return m_lastError; }

protected:
    std::string m_lastError;
};

} // namespace Vrenn
