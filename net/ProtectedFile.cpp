#include "platform/Win32.h"
#include "net/ProtectedFile.h"

#include "net/ProtectedKeys.h"
#include "platform/ScopedWin.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <memory>
#include <mutex>

namespace {

// Protected files are configuration and small settings; anything larger is
// not one of ours.
constexpr LONGLONG kMaxProtectedSize = 64LL * 1024 * 1024;

bool SodiumReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = sodium_init() >= 0; });
    return ready;
}

bool OpenAuthenticated(std::string_view file, std::string& content)
{
    constexpr size_t kNonce = crypto_aead_chacha20poly1305_IETF_NPUBBYTES;
    constexpr size_t kTag = crypto_aead_chacha20poly1305_IETF_ABYTES;
    static_assert(kNonce == 12 && kTag == 16, "IETF layout");
    if (file.size() <= 27 || !SodiumReady())
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
    std::string plain(file.size() - kNonce - kTag, '\0');
    unsigned long long plainLength = 0;
    if (crypto_aead_chacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(plain.data()), &plainLength,
                                                  nullptr, bytes + kNonce, file.size() - kNonce, nullptr, 0, bytes,
                                                  ProtectedKeys::kChaChaKey) != 0)
        return false;
    plain.resize(static_cast<size_t>(plainLength));
    content = std::move(plain);
    return true;
}

bool OpenLegacy(std::string_view file, std::string& content)
{
    if (file.empty() || file.size() % 16 != 0)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx || !EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, ProtectedKeys::kLegacyAesKey, nullptr))
        return false;
    // The padding rule is our own: a last byte of 1..16 says how many bytes go.
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    std::string plain(file.size(), '\0');
    int written = 0;
    if (!EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()), &written,
                           reinterpret_cast<const unsigned char*>(file.data()), static_cast<int>(file.size())))
        return false;
    int tail = 0;
    if (!EVP_DecryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()) + written, &tail))
        return false;
    plain.resize(static_cast<size_t>(written + tail));
    const unsigned char last = plain.empty() ? 0 : static_cast<unsigned char>(plain.back());
    if (last >= 1 && last <= 16)
        plain.resize(plain.size() - last);
    content = std::move(plain);
    return true;
}

} // namespace

bool OpenProtected(std::string_view file, std::string& content)
{
    return OpenAuthenticated(file, content) || OpenLegacy(file, content);
}

bool readProtectedFile(const std::wstring& path, std::string& content)
{
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxProtectedSize)
        return false;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
        return false;
    return OpenProtected(bytes, content);
}
