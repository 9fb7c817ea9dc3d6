#pragma once
#include <map>
#include <string>

namespace VelUICore {

// Reads a skin text file: UTF-8 with or without byte-order mark. An absent,
// empty or unreadable file, or one that converts to nothing, is a failure.
bool ReadSkinTextFile(const std::wstring& path, std::wstring& text);

// One window's theme folder: style_global.xml and containers\*.xml, read whole.
struct SkinFolder {
    std::wstring folder;
    std::wstring globalText;
    // Template name (file name up to its last '.') -> template text, in UTF-16 code-unit order.
    std::map<std::wstring, std::wstring> templates;
    bool loaded = false;

    bool Load(const std::wstring& themeFolder);
    // Exact, case-sensitive name; empty when absent or not loaded.
    std::wstring GetContainerXml(const std::wstring& name) const;
};

}  // namespace VelUICore
