#pragma once

#include <string>
#include <utility>

namespace Vrenn {

// Base of objects that managers keep by name (codecs, model loaders): a name and a
// virtual destructor, nothing more.
class NamedObject {
public:
    explicit NamedObject(std::string name = {}) : m_name(std::move(name)) {}
    virtual ~NamedObject() = default;

    const std::string& getName() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }

protected:
    NamedObject(const NamedObject&) = default;
    NamedObject& operator=(const NamedObject&) = default;

private:
    std::string m_name;
};

} // namespace Vrenn
