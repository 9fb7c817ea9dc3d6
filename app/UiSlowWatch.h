#pragma once
#include <cstdint>

// Times a UI-thread handler from construction to destruction (every way out)
// and reports it in the debug output when it took more than 50 ms.
class UiSlowWatch {
public:
    using TickSource = uint32_t (*)();
    static constexpr uint32_t kLimitMs = 50;

    explicit UiSlowWatch(const char* label, TickSource ticks = nullptr);
    ~UiSlowWatch();

    UiSlowWatch(const UiSlowWatch&) = delete;
    UiSlowWatch& operator=(const UiSlowWatch&) = delete;

private:
    const char* m_label;
    TickSource m_ticks;
    uint32_t m_start;
};
