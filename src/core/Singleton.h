#pragma once

namespace Vrenn {

// Process-wide registration for the managers that exist once per process (console
// variables, log manager, file system, codec manager, ...). The constructor publishes
// the object, the destructor withdraws it; code without an application reference
// reaches the live instance through instance(), which is null while none exists.
template <class T> class Singleton {
public:
    static T* instance() { return static_cast<T*>(s_instance); }

    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

protected:
    // The pointer is kept as the base and cast on access: while the base is being
    // constructed or destroyed the object is not yet (or no longer) a T.
    Singleton() { s_instance = this; }
    ~Singleton() {
        if (s_instance == this) s_instance = nullptr;
    }

private:
    static inline Singleton* s_instance = nullptr;
};

} // namespace Vrenn
