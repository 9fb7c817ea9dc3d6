#pragma once
#include <string>
#include <string_view>

// Files that VelStation writes protected: ChaCha20-Poly1305 (IETF) with a
// leading nonce, or the legacy AES-128-ECB form. VelTray only reads them.

// Reads and opens a protected file; false when it cannot be read or neither
// form opens it (there is no unprotected form).
bool readProtectedFile(const std::wstring& path, std::string& content);

// The same on bytes already read.
bool OpenProtected(std::string_view file, std::string& content);
