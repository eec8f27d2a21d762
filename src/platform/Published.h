#pragma once
// The process-wide instance pointer each subsystem object publishes: set by
// its constructor, cleared by its destructor. Users read the object only
// through T::instance and check it before use.

template <typename T>
class Published {
public:
    static inline T* instance = nullptr;

    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

protected:
    Published() { instance = static_cast<T*>(this); }
    ~Published() { withdraw(); }

    // Clears the pointer early, for a destructor whose work must not be
    // reached through it; a newer object's pointer stays.
    void withdraw()
    {
        if (instance == static_cast<T*>(this))
            instance = nullptr;
    }
};
