#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace Vrenn {

// The name-keyed registry of a resource manager: an ordered map compared byte by byte
// in which the first entry under a name stays, and the "gen_" names given to
// resources made without one.
template <class T> class Registry {
public:
    using Map = std::map<std::string, std::shared_ptr<T>>;

    // Registers object under name unless the name is taken; true when added.
    bool add(const std::string& name, std::shared_ptr<T> object) {
        return m_entries.emplace(name, std::move(object)).second;
    }
    std::shared_ptr<T> find(const std::string& name) const {
        const auto it = m_entries.find(name);
        return it == m_entries.end() ? nullptr : it->second;
    }
    // Erases the first entry holding object.
    void remove(const std::shared_ptr<T>& object) {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->second == object) {
                m_entries.erase(it);
                return;
            }
        }
    }
    void remove(const std::string& name) { m_entries.erase(name); }
    void clear() { m_entries.clear(); }

    // "gen_" followed by the counter in decimal; the counter then goes up by one.
    std::string generateName() { return "gen_" + std::to_string(m_counter++); }

    const Map& entries() const { return m_entries; }
    size_t size() const { return m_entries.size(); }

private:
    Map m_entries;
    uint32_t m_counter = 0;
};

// The registry operations every resource manager offers, over the manager's one
// registry: a manager derives from it and adds what it makes to m_registry.
template <class T> class RegistryOwner {
public:
    // Removing an object or a name that is not registered does nothing.
    void remove(const std::shared_ptr<T>& object) { m_registry.remove(object); }
    void remove(const std::string& name) { m_registry.remove(name); }
    void removeAll() { m_registry.clear(); }
    std::shared_ptr<T> find(const std::string& name) const { return m_registry.find(name); }
    const typename Registry<T>::Map& entries() const { return m_registry.entries(); }

protected:
    RegistryOwner() = default;
    ~RegistryOwner() = default;

    Registry<T> m_registry;
};

} // namespace Vrenn
