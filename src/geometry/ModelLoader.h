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
    // failure model is left as it was, the reason is logged and false is returned. With
    // upload set, each mesh gets its GPU buffers as soon as it is read.
    virtual bool load(const std::string& name, std::shared_ptr<Model>& model, bool upload) = 0;
    // Writes model to the named file; false, with the reason logged, when it cannot.
    virtual bool save(const std::string& name, const Model& model) = 0;
};

} // namespace Vrenn
