#include "script/ScriptEngine.h"

#include <gtest/gtest.h>

namespace {

class ScriptEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(engine.create());
        ASSERT_TRUE(engine.registerJson());
    }

    // Runs the script; the result on success, else the error text.
    bool Run(const std::string& script, const std::string& input = "{}")
    {
        result.clear();
        error.clear();
        return engine.run(script, input, result, error);
    }

    ScriptEngine engine;
    std::string result;
    std::string error;
};

} // namespace

TEST_F(ScriptEngineTest, TheLastReturnedValueMustBeAString)
{
    const struct {
        const char* script;
        bool ok;
        std::string text; // result when ok, else error
    } cases[] = {
        {"local x = 1", false, "script must return a string"},
        {"return 42", false, "script must return a string"},
        {"return \"42\"", true, "42"},
        {"return 'first', 'second'", true, "second"},
        {"return 'first', 2", false, "script must return a string"},
        {"return ''", true, ""},
        {"return 'a\\0b'", true, std::string("a\0b", 3)},
        {"error('boom', 0)", false, "boom"},
        {"error(7, 0)", false, "7"},
        {"error({})", false, "pcall error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(Run(c.script), c.ok);
        EXPECT_EQ(c.ok ? result : error, c.text);
    }
}

TEST_F(ScriptEngineTest, ASyntaxErrorNamesTheChunkAfterTheScriptText)
{
    EXPECT_FALSE(Run("return +"));
    EXPECT_EQ(error.rfind("[string \"return +\"]:1:", 0), 0u) << error;
    EXPECT_TRUE(result.empty());
}

TEST_F(ScriptEngineTest, OnlyBaseTableStringAndMathAreOpen)
{
    EXPECT_FALSE(Run("return tostring(os.time())"));
    EXPECT_NE(error.find("os"), std::string::npos) << error;

    EXPECT_TRUE(Run("return type(io) .. type(package) .. type(debug) .. type(os)"));
    EXPECT_EQ(result, "nilnilnilnil");
    EXPECT_TRUE(Run("return type(coroutine.create) .. type(table.concat) .. type(string.format) .. type(math.floor)"));
    EXPECT_EQ(result, "functionfunctionfunctionfunction");
}

TEST_F(ScriptEngineTest, JsonRoundTripKeepsChineseText)
{
    const std::string input = "{\"title\":\"\xE6\xA1\x88\xE4\xBE\x8B\xE8\x82\xA1\",\"n\":3}"; // 案例股
    const char* script =
        "local t = cjson.decode(__json)\n"
        "return cjson.encode({text = t.title .. '\xE6\x8E\xA8\xE9\x80\x81', count = t.n + 1})"; // 推送
    ASSERT_TRUE(Run(script, input)) << error;
    ASSERT_TRUE(Run("local t = cjson.decode(" + std::string("[==[") + result + "]==])\n"
                    "return t.text .. '|' .. tostring(t.count)"))
        << error;
    EXPECT_EQ(result, "\xE6\xA1\x88\xE4\xBE\x8B\xE8\x82\xA1\xE6\x8E\xA8\xE9\x80\x81|4");
}

TEST_F(ScriptEngineTest, AJsonDecodeErrorIsARunTimeError)
{
    EXPECT_FALSE(Run("return cjson.decode(__json).a", "{not json"));
    EXPECT_NE(error.find("Expected object key string"), std::string::npos) << error;
    // The engine stays usable after a failed run.
    EXPECT_TRUE(Run("return cjson.decode(__json).a", "{\"a\":\"ok\"}"));
    EXPECT_EQ(result, "ok");
}

TEST_F(ScriptEngineTest, RunawayLoopsAreStoppedEvenWhenTheyCatchTheError)
{
    const char* scripts[] = {
        "while true do end",
        "while true do pcall(function() while true do end end) end",
        "local co = coroutine.wrap(function() while true do coroutine.yield() end end)\n"
        "while true do co() end",
        "pcall(function() while true do end end) return 'survived'",
    };
    for (const char* script : scripts) {
        SCOPED_TRACE(script);
        EXPECT_FALSE(Run(script));
        EXPECT_EQ(error, ScriptEngine::kInstructionLimitError);
        EXPECT_TRUE(Run("return 'next'")) << error;
    }
}

TEST_F(ScriptEngineTest, MemoryBombsAreStopped)
{
    const char* scripts[] = {
        "local t = {} for i = 1, 1e9 do t[i] = string.rep('x', 4096) .. i end",
        "return string.rep('x', 2^30)",
        "local s = 'x' while true do s = s .. s end",
        "local t = {} while true do pcall(function() t[#t + 1] = string.rep('y', 100) .. #t end) end",
        "return string.rep('', 1e12) .. string.rep('z', 1e12)",
        // cjson writes in C: one held string written 64 times over, and a
        // table that holds the same table twice at every level.
        "local s = string.rep('\\1', 1e6) local t = {} for i = 1, 64 do t[i] = s end return cjson.encode(t)",
        "local x = {} for d = 1, 40 do x = {x, x} end return cjson.encode(x)",
    };
    for (const char* script : scripts) {
        SCOPED_TRACE(script);
        EXPECT_FALSE(Run(script));
        EXPECT_EQ(error, ScriptEngine::kMemoryLimitError);
        EXPECT_TRUE(Run("return 'next'")) << error;
    }
}

TEST(ScriptEngine, AnInputLargerThanTheMemoryLimitFailsWithoutEndingTheProcess)
{
    ScriptEngine engine(ScriptEngine::Limits{1'000'000, 256 * 1024});
    ASSERT_TRUE(engine.create());
    std::string result, error;
    EXPECT_FALSE(engine.run("return __json", std::string(512 * 1024, 'x'), result, error));
    EXPECT_EQ(error, ScriptEngine::kMemoryLimitError);
    EXPECT_TRUE(engine.run("return 'small'", "{}", result, error)) << error;
    EXPECT_EQ(result, "small");
}

TEST(ScriptEngine, WithoutAStateNothingRuns)
{
    ScriptEngine engine;
    std::string result, error;
    EXPECT_FALSE(engine.registerJson());
    EXPECT_FALSE(engine.run("return 'x'", "{}", result, error));
    EXPECT_EQ(error, "lua_State is null");

    ASSERT_TRUE(engine.create());
    engine.destroy();
    EXPECT_FALSE(engine.run("return 'x'", "{}", result, error));
    EXPECT_EQ(error, "lua_State is null");
}

TEST(ScriptEngine, CjsonIsAbsentUntilRegistered)
{
    ScriptEngine engine;
    ASSERT_TRUE(engine.create());
    std::string result, error;
    EXPECT_TRUE(engine.run("return type(cjson)", "{}", result, error));
    EXPECT_EQ(result, "nil");
    ASSERT_TRUE(engine.registerJson());
    EXPECT_TRUE(engine.run("return type(cjson.encode) .. type(cjson.safe)", "{}", result, error)) << error;
    EXPECT_EQ(result, "functionnil");
}
