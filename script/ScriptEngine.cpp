#include "script/ScriptEngine.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

int luaopen_cjson(lua_State* state);
}

#include <cstdio>
#include <cstdlib>

struct ScriptBudget {
    size_t memoryLimit = 0;
    size_t memoryUsed = 0;
    bool memoryExceeded = false;
    uint64_t instructionLimit = 0;
    uint64_t instructions = 0;
    bool instructionsExceeded = false;
};

namespace {

// How many VM instructions pass between two looks at the budget.
constexpr int kHookInterval = 1000;
constexpr size_t kCollectHeadroom = 64 * 1024;

void* BoundedAlloc(void* ud, void* block, size_t oldSize, size_t newSize)
{
    auto* budget = static_cast<ScriptBudget*>(ud);
    if (newSize == 0) {
        std::free(block);
        budget->memoryUsed -= oldSize;
        return nullptr;
    }
    // Used may stand above the limit (the limit is lowered again after a
    // collection with headroom): then nothing more may grow.
    const size_t room = budget->memoryUsed < budget->memoryLimit ? budget->memoryLimit - budget->memoryUsed : 0;
    if (newSize > oldSize && newSize - oldSize > room) {
        budget->memoryExceeded = true;
        return nullptr; // Lua raises its memory error
    }
    void* grown = std::realloc(block, newSize);
    if (grown)
        budget->memoryUsed = budget->memoryUsed - oldSize + newSize;
    return grown;
}

ScriptBudget& BudgetOf(lua_State* state)
{
    void* ud = nullptr;
    lua_getallocf(state, &ud);
    return *static_cast<ScriptBudget*>(ud);
}

void CountHook(lua_State* state, lua_Debug*)
{
    ScriptBudget& budget = BudgetOf(state);
    budget.instructions += kHookInterval;
    if (budget.instructions <= budget.instructionLimit)
        return;
    budget.instructionsExceeded = true;
    // From now on every instruction of this thread fails, so a script that
    // catches the error with pcall cannot carry on.
    lua_sethook(state, CountHook, LUA_MASKCOUNT, 1);
    lua_pushstring(state, ScriptEngine::kInstructionLimitError);
    lua_error(state);
}

int RaiseMemoryLimit(lua_State* state)
{
    BudgetOf(state).memoryExceeded = true;
    lua_pushstring(state, ScriptEngine::kMemoryLimitError);
    return lua_error(state);
}

// string.rep loops in C, where no instruction is counted: an empty string
// repeated 1e12 times would spin for minutes. Refuse what cannot fit at once.
int BoundedRep(lua_State* state)
{
    size_t length = 0;
    const char* text = luaL_checklstring(state, 1, &length);
    // Compared as a number first: a count beyond the integer type (2^40 on a
    // 32-bit build) must not wrap into a small or negative one.
    const lua_Number count = luaL_checknumber(state, 2);
    if (!(count >= 1) || length == 0) {
        lua_pushliteral(state, "");
        return 1;
    }
    if (count > static_cast<lua_Number>(BudgetOf(state).memoryLimit / length))
        return RaiseMemoryLimit(state);
    const size_t repeats = static_cast<size_t>(count);
    luaL_Buffer buffer;
    luaL_buffinit(state, &buffer);
    for (size_t i = 0; i < repeats; ++i)
        luaL_addlstring(&buffer, text, length);
    luaL_pushresult(&buffer);
    return 1;
}

// Everything that allocates runs in protected mode: an allocation refused by
// the budget then becomes an error instead of a panic that ends the process.
int OpenLibraries(lua_State* state)
{
    const luaL_Reg libraries[] = {
        {"", luaopen_base}, // with "coroutine"
        {LUA_TABLIBNAME, luaopen_table},
        {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},
    };
    for (const luaL_Reg& library : libraries) {
        lua_pushcfunction(state, library.func);
        lua_pushstring(state, library.name);
        lua_call(state, 1, 0);
    }
    lua_getglobal(state, LUA_STRLIBNAME);
    lua_pushcfunction(state, BoundedRep);
    lua_setfield(state, -2, "rep");
    lua_pop(state, 1);
    return 0;
}

int RaiseInstructionLimit(lua_State* state)
{
    BudgetOf(state).instructionsExceeded = true;
    lua_pushstring(state, ScriptEngine::kInstructionLimitError);
    return lua_error(state);
}

// What cjson.encode is going to write: elements visited (a table met twice
// is written twice) and an upper bound of the text's bytes.
struct EncodeSize {
    uint64_t elements = 0;
    uint64_t bytes = 0;
};

// Deeper than cjson's own nesting limit, which refuses the value anyway.
constexpr int kEncodeMaxDepth = 1000;

void MeasureForEncode(lua_State* state, int index, int depth, EncodeSize& size)
{
    const ScriptBudget& budget = BudgetOf(state);
    const uint64_t room = budget.memoryUsed < budget.memoryLimit ? budget.memoryLimit - budget.memoryUsed : 0;
    if (budget.instructions + size.elements > budget.instructionLimit)
        RaiseInstructionLimit(state);
    if (size.bytes > room)
        RaiseMemoryLimit(state);
    switch (lua_type(state, index)) {
    case LUA_TSTRING:
        // Control characters are written as \uXXXX: six bytes for one.
        size.bytes += 6 * lua_objlen(state, index) + 2;
        break;
    case LUA_TTABLE:
        if (depth >= kEncodeMaxDepth || !lua_checkstack(state, 3))
            return;
        size.bytes += 2;
        lua_pushnil(state);
        while (lua_next(state, index) != 0) {
            ++size.elements;
            size.bytes += 1;
            const int top = lua_gettop(state);
            MeasureForEncode(state, top - 1, depth + 1, size);
            MeasureForEncode(state, top, depth + 1, size);
            lua_pop(state, 1);
        }
        break;
    default:
        size.bytes += 32; // numbers, booleans, null
        break;
    }
}

// cjson.encode walks the value and grows its output in C, outside both
// budgets: a table that holds one inner table many times over would make it
// write for minutes into memory nobody counts, and its allocation failure
// ends the process. So the value is measured first and the work charged.
int BoundedEncode(lua_State* state)
{
    EncodeSize size;
    if (lua_gettop(state) >= 1)
        MeasureForEncode(state, 1, 0, size);
    BudgetOf(state).instructions += size.elements;
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_insert(state, 1);
    lua_call(state, lua_gettop(state) - 1, LUA_MULTRET);
    return lua_gettop(state);
}

int OpenJson(lua_State* state)
{
    lua_pushcfunction(state, luaopen_cjson);
    lua_call(state, 0, 1);
    lua_getfield(state, -1, "encode");
    lua_pushcclosure(state, BoundedEncode, 1);
    lua_setfield(state, -2, "encode");
    lua_setglobal(state, "cjson");
    return 0;
}

int CollectGarbage(lua_State* state)
{
    lua_gc(state, LUA_GCCOLLECT, 0);
    return 0;
}

int SetInput(lua_State* state)
{
    const auto* input = static_cast<const std::string*>(lua_touserdata(state, 1));
    lua_pushlstring(state, input->data(), input->size());
    lua_setglobal(state, "__json");
    return 0;
}

// The error value on top of the stack as text, without asking Lua to convert
// it (a conversion allocates, outside protected mode).
std::string ErrorText(lua_State* state, const char* fallback)
{
    switch (lua_type(state, -1)) {
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(state, -1, &length);
        return std::string(text, length);
    }
    case LUA_TNUMBER: {
        char text[64];
        std::snprintf(text, sizeof text, LUA_NUMBER_FMT, lua_tonumber(state, -1));
        return text;
    }
    default:
        return fallback;
    }
}

} // namespace

void ScriptEngine::StateCloser::operator()(lua_State* state) const
{
    lua_close(state);
}

ScriptEngine::ScriptEngine() : ScriptEngine(Limits{}) {}

ScriptEngine::ScriptEngine(Limits limits) : m_limits(limits), m_budget(std::make_unique<ScriptBudget>()) {}

ScriptEngine::~ScriptEngine()
{
    destroy();
}

bool ScriptEngine::create()
{
    destroy();
    *m_budget = ScriptBudget{};
    m_budget->memoryLimit = m_limits.memoryBytes;
    m_budget->instructionLimit = m_limits.instructions;
    m_state.reset(lua_newstate(BoundedAlloc, m_budget.get()));
    if (!m_state)
        return false;
    lua_State* state = m_state.get();
    if (lua_cpcall(state, OpenLibraries, nullptr) != 0) {
        destroy();
        return false;
    }
    lua_sethook(state, CountHook, LUA_MASKCOUNT, kHookInterval);
    return true;
}

bool ScriptEngine::registerJson()
{
    if (!m_state)
        return false;
    lua_State* state = m_state.get();
    if (lua_cpcall(state, OpenJson, nullptr) != 0) {
        lua_pop(state, 1);
        return false;
    }
    return true;
}

bool ScriptEngine::run(const std::string& script, const std::string& input, std::string& result, std::string& error)
{
    if (!m_state) {
        error = "lua_State is null";
        return false;
    }
    lua_State* state = m_state.get();
    lua_settop(state, 0);
    m_budget->instructions = 0;
    m_budget->instructionsExceeded = false;
    m_budget->memoryExceeded = false;
    lua_sethook(state, CountHook, LUA_MASKCOUNT, kHookInterval);

    // A run that overstepped a bound fails even when the script caught the
    // error and went on. Memory first: a script that catches the memory error
    // and retries ends at the instruction bound, but memory was the cause.
    const auto fail = [&](std::string text) {
        if (m_budget->memoryExceeded)
            text = kMemoryLimitError;
        else if (m_budget->instructionsExceeded)
            text = kInstructionLimitError;
        error = std::move(text);
        lua_settop(state, 0);
        return false;
    };

    // Lua 5.1 does not collect when an allocation fails, so the garbage of a
    // run that hit the memory bound would make the next one fail too. The
    // collection is protected (finalizers of script-made userdata may raise
    // errors) and gets a little headroom for the protected call itself.
    m_budget->memoryLimit = m_limits.memoryBytes + kCollectHeadroom;
    if (lua_cpcall(state, CollectGarbage, nullptr) != 0)
        lua_settop(state, 0);
    m_budget->memoryLimit = m_limits.memoryBytes;
    m_budget->memoryExceeded = false;
    if (lua_cpcall(state, SetInput, const_cast<std::string*>(&input)) != 0)
        return fail(ErrorText(state, "set input error"));
    // The chunk is named after the script itself, so messages quote its text.
    if (luaL_loadbuffer(state, script.data(), script.size(), script.c_str()) != 0)
        return fail(ErrorText(state, "loadstring error"));
    if (lua_pcall(state, 0, LUA_MULTRET, 0) != 0)
        return fail(ErrorText(state, "pcall error"));
    if (m_budget->instructionsExceeded || m_budget->memoryExceeded)
        return fail({});
    if (lua_gettop(state) > 0 && lua_type(state, -1) == LUA_TSTRING) {
        size_t length = 0;
        const char* text = lua_tolstring(state, -1, &length);
        result.assign(text, length);
        lua_settop(state, 0);
        return true;
    }
    return fail("script must return a string");
}

void ScriptEngine::destroy()
{
    m_state.reset();
}
