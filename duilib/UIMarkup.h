#pragma once
#include "duilib/UIDefine.h"

#include <memory>

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace DuiLib {

class CControlUI;
class CPaintManagerUI;

// One element of a parsed markup text; a default-constructed node is invalid.
class CMarkupNode {
public:
    CMarkupNode();
    bool IsValid() const;
    CDuiString GetName() const;
    CDuiString GetValue() const;  // the element's text content
    bool HasChildren() const;
    CMarkupNode GetChild() const;    // first child element
    CMarkupNode GetSibling() const;  // next sibling element
    int GetAttributeCount() const;
    CDuiString GetAttributeName(int index) const;
    CDuiString GetAttributeValue(int index) const;
    // Empty when absent; names compared ignoring case.
    CDuiString GetAttributeValue(const CDuiString& name) const;
    bool HasAttribute(const CDuiString& name) const;

private:
    friend class CMarkup;
    explicit CMarkupNode(const void* node);
    const void* m_node;  // pugi::xml_node_struct*
};

// A markup text parsed into a node tree (pugixml underneath).
class CMarkup {
public:
    CMarkup();
    ~CMarkup();
    CMarkup(const CMarkup&) = delete;
    CMarkup& operator=(const CMarkup&) = delete;

    bool Load(const CDuiString& text);
    bool IsValid() const { return m_loaded; }
    CMarkupNode GetRoot() const;

private:
    std::unique_ptr<pugi::xml_document> m_doc;
    bool m_loaded = false;
};

// Creates controls the factory does not know.
class IDialogBuilderCallback {
public:
    virtual CControlUI* CreateControl(const CDuiString& className) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

// Builds markup into controls: element "Label" is the factory's "CLabelUI".
// Each control gets the paint manager's default attribute list of its element
// name first, then the element's attributes in document order. Elements whose
// class nobody knows are skipped with their children; the build goes on.
class CDialogBuilder {
public:
    // Builds the child elements of the text's root element into pParent.
    // Returns pParent, or none when the text has no root element or pParent
    // is not a container.
    static CControlUI* Create(const CDuiString& xml, IDialogBuilderCallback* pCallback, CPaintManagerUI* pManager,
                              CControlUI* pParent);
    static CControlUI* CreateFromNode(const CMarkupNode& node, IDialogBuilderCallback* pCallback,
                                      CPaintManagerUI* pManager, CControlUI* pParent);
};

}  // namespace DuiLib
