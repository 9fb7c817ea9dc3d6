#include "business/ParamReqInfo.h"

#include <openssl/evp.h>

#include <cinttypes>
#include <cstdio>

std::string Md5Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr))
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0f]);
    }
    return text;
}

void ParamReqInfo::MakeRequestKey(const std::string& messageType)
{
    std::string keyText;
    if (origin) {
        char prefix[64];
        std::snprintf(prefix, sizeof(prefix), "%" PRId32 ":%" PRId32 ":%" PRId64 ":", origin->receiverId,
                      origin->receiverTag, origin->context);
        keyText = prefix;
    } else {
        keyText = "0:0:0:";
    }
    keyText += messageType;
    tag = Md5Hex(keyText);
}
