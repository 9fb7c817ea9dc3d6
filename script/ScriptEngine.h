#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct lua_State;
struct ScriptBudget;

// One Lua 5.1 state with the base (and coroutine), table, string and math
// libraries and, after registerJson, lua-cjson as the global "cjson". A run
// reads its input from the global "__json" and returns one string.
//
// A script is data from a configuration file, so a run is bounded: it may
// execute a limited number of VM instructions and hold a limited amount of
// memory, and fails with kInstructionLimitError or kMemoryLimitError beyond.
// Library functions run as C code, where no instruction is counted:
// string.rep and cjson.encode are checked against both bounds up front;
// pattern matching (string.find, gsub, match) is not bounded.
class ScriptEngine {
public:
    struct Limits {
        uint64_t instructions = 20'000'000;
        size_t memoryBytes = 32u << 20;
    };

    static constexpr const char* kInstructionLimitError = "script exceeded its instruction limit";
    static constexpr const char* kMemoryLimitError = "script exceeded its memory limit";

    ScriptEngine();
    explicit ScriptEngine(Limits limits);
    ~ScriptEngine();
    // The state's allocator and hook hold the budget's address.
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Opens a new state, closing any previous one; false when it failed.
    bool create();
    bool registerJson();
    bool run(const std::string& script, const std::string& input, std::string& result, std::string& error);
    void destroy();

    bool HasState() const { return m_state != nullptr; }

private:
    struct StateCloser {
        void operator()(lua_State* state) const;
    };

    Limits m_limits;
    // Declared before the state: closing the state frees through the budget.
    std::unique_ptr<ScriptBudget> m_budget;
    std::unique_ptr<lua_State, StateCloser> m_state;
};
