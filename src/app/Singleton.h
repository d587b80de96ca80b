#pragma once

namespace Vrenn {

// Process-wide registration for the managers that exist once per process (console
// variables, log manager, file system, codec manager, ...). The constructor publishes
// the object, the destructor withdraws it; code without an application reference
// reaches the live instance through instance(), which is null while none exists.
template <class T> class Singleton {
public:
    static T* instance() { return s_instance; }

    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

protected:
    Singleton() { s_instance = static_cast<T*>(this); }
    ~Singleton() {
        if (s_instance == static_cast<T*>(this)) s_instance = nullptr;
    }

private:
    static inline T* s_instance = nullptr;
};

} // namespace Vrenn
