#include "platform/Win32.h"

#include "net/ProtectedFile.h"
#include "net/ProtectedKeys.h"
#include "net/ProxySettings.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sodium.h>

#include <cstdio>
#include <fstream>

namespace {

// The writer's side, as VelStation and our tools do it.
std::string SealChaCha(const std::string& plain)
{
    EXPECT_GE(sodium_init(), 0);
    std::string out(12 + plain.size() + 16, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    for (int i = 0; i < 12; ++i)
        bytes[i] = static_cast<unsigned char>(0x40 + i);
    unsigned long long written = 0;
    crypto_aead_chacha20poly1305_ietf_encrypt(bytes + 12, &written, reinterpret_cast<const unsigned char*>(plain.data()),
                                              plain.size(), nullptr, 0, nullptr, bytes, ProtectedKeys::kChaChaKey);
    out.resize(12 + written);
    return out;
}

// Encrypts exactly the given bytes (a multiple of 16) with the legacy key.
std::string SealLegacyRaw(const std::string& blocks)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, ProtectedKeys::kLegacyAesKey, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::string out(blocks.size() + 16, '\0');
    int n = 0, tail = 0;
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                      reinterpret_cast<const unsigned char*>(blocks.data()), static_cast<int>(blocks.size()));
    EVP_EncryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<size_t>(n + tail));
    return out;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

} // namespace

TEST(ProtectedFile, AuthenticatedFormRoundTripsAndRejectsTampering)
{
    std::string content;
    const std::string sealed = SealChaCha("<root><a>1</a></root>");
    ASSERT_TRUE(OpenProtected(sealed, content));
    EXPECT_EQ(content, "<root><a>1</a></root>");

    // 28 bytes: nonce and tag around an empty message.
    const std::string empty = SealChaCha("");
    ASSERT_EQ(empty.size(), 28u);
    content = "stale";
    ASSERT_TRUE(OpenProtected(empty, content));
    EXPECT_EQ(content, "");

    for (size_t at : {size_t(0), size_t(12), sealed.size() - 1}) {
        std::string tampered = sealed;
        tampered[at] ^= 0x01;
        EXPECT_FALSE(OpenProtected(tampered, content)) << "byte " << at;
    }
}

TEST(ProtectedFile, LegacyFormAndItsPaddingRule)
{
    struct Case {
        std::string blocks;
        std::string expected;
    } cases[] = {
        {std::string("hello") + std::string(11, '\x0b'), "hello"},
        {std::string(16, 'a') + std::string(16, '\x10'), std::string(16, 'a')},
        // A last byte outside 1..16 keeps the whole length.
        {std::string(15, 'b') + "\x20", std::string(15, 'b') + "\x20"},
        {std::string(15, 'c') + std::string(1, '\0'), std::string(15, 'c') + std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        std::string content;
        ASSERT_TRUE(OpenProtected(SealLegacyRaw(c.blocks), content));
        EXPECT_EQ(content, c.expected);
    }
}

TEST(ProtectedFile, BadFilesFailBothForms)
{
    std::string content = "kept";
    const std::string cases[] = {
        std::string(),
        std::string(27, 'x'), // too short for the authenticated form, not a multiple of 16
        std::string(33, 'y'),
        SealChaCha("abc").substr(0, 27),
    };
    for (const std::string& bytes : cases)
        EXPECT_FALSE(OpenProtected(bytes, content)) << bytes.size();
    EXPECT_EQ(content, "kept");

    TempDir dir;
    EXPECT_FALSE(readProtectedFile(dir.Join(L"missing.vqx"), content));
    WriteBytes(dir.Join(L"empty.vqx"), "");
    EXPECT_FALSE(readProtectedFile(dir.Join(L"empty.vqx"), content));
    WriteBytes(dir.Join(L"good.vqx"), SealChaCha("ok"));
    ASSERT_TRUE(readProtectedFile(dir.Join(L"good.vqx"), content));
    EXPECT_EQ(content, "ok");
}

TEST(ProxySettings, TypeRulesAndLimits)
{
    struct Case {
        const char* json;
        bool ok;
        const char* domain;
        int32_t port;
        int32_t type;
        const char* user;
    } cases[] = {
        {R"({"UserProxyType":1,"ProxyType":1,"Domain":"proxy.example","Port":8080,"UserName":"u","Password":"p"})",
         true, "proxy.example", 8080, 1, "u"},
        {R"({"UserProxyType":0,"Domain":"abcdefghijklmnopqrstuvwxyz","Port":1})", true, "abcdefghijklmno", 1, 0, ""},
        {R"({"UserProxyType":2.0,"ProxyType":"2","Port":3128.0})", true, "", 3128, 0, ""},
        {R"({"ProxyType":1,"Domain":"h","Port":1})", false, "", 0, 0, ""},
        {R"({"UserProxyType":"1","ProxyType":1,"Domain":"h"})", false, "", 0, 0, ""},
        {R"({"UserProxyType":1.5,"ProxyType":1})", false, "", 0, 0, ""},
        {R"({"UserProxyType":4294967296})", false, "", 0, 0, ""},
        {R"({"UserProxyType":1,"Domain":7,"Port":"80","UserName":[1]})", true, "", 0, 0, ""},
        {R"([1,2])", false, "", 0, 0, ""},
        {R"({"UserProxyType":1,)", false, "", 0, 0, ""},
        {"", false, "", 0, 0, ""},
    };
    for (const Case& c : cases) {
        ZrProxyData proxy;
        EXPECT_EQ(ParseProxySettings(c.json, proxy), c.ok) << c.json;
        EXPECT_STREQ(proxy.Domain, c.domain) << c.json;
        EXPECT_EQ(proxy.Port, c.port) << c.json;
        EXPECT_EQ(proxy.ProxyType, c.type) << c.json;
        EXPECT_STREQ(proxy.UserName, c.user) << c.json;
    }

    ZrProxyData proxy;
    const std::string longName(100, 'n');
    ASSERT_TRUE(ParseProxySettings("{\"UserProxyType\":1,\"UserName\":\"" + longName + "\",\"Password\":\"" + longName + "\"}", proxy));
    EXPECT_EQ(std::string(proxy.UserName), std::string(31, 'n'));
    EXPECT_EQ(std::string(proxy.Password), std::string(31, 'n'));

    // Deeply nested content is refused, not followed down the stack.
    std::string deep = "{\"UserProxyType\":1,\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_FALSE(ParseProxySettings(deep, proxy));
}

TEST(ProxySettings, ReadsTheProtectedFileUnderDataCommon)
{
    TempDir dir;
    ZrProxyData proxy;
    EXPECT_FALSE(readProxySettingsIn(dir.Path(), proxy));
    EXPECT_TRUE(DirectoryExists(dir.Join(L"Data\\Common")));

    WriteBytes(dir.Join(L"Data\\Common\\ProxyData.data"),
               SealChaCha(R"({"UserProxyType":1,"ProxyType":2,"Domain":"10.0.0.1","Port":1080})"));
    ASSERT_TRUE(readProxySettingsIn(dir.Path(), proxy));
    EXPECT_STREQ(proxy.Domain, "10.0.0.1");
    EXPECT_EQ(proxy.Port, 1080);
    EXPECT_EQ(proxy.ProxyType, 2);

    // Plain JSON is not a protected file.
    WriteBytes(dir.Join(L"Data\\Common\\ProxyData.data"), R"({"UserProxyType":1,"ProxyType":2})");
    EXPECT_FALSE(readProxySettingsIn(dir.Path(), proxy));
    EXPECT_EQ(proxy.ProxyType, 0);
}
