#pragma once

// Process-wide instance, created on first use (thread-safe) and destroyed at
// process exit.
template <typename T>
class ZrSingleton {
public:
    static T& Instance()
    {
        static T instance;
        return instance;
    }

protected:
    ZrSingleton() = default;
    ~ZrSingleton() = default;
    ZrSingleton(const ZrSingleton&) = delete;
    ZrSingleton& operator=(const ZrSingleton&) = delete;
};
