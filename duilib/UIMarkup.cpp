#include "platform/Win32.h"

#include "duilib/UIMarkup.h"

#include "duilib/UIContainer.h"
#include "duilib/UIControlFactory.h"
#include "duilib/UIManager.h"
#include "platform/TextConv.h"

#include <pugixml.hpp>

#include <cwchar>

namespace DuiLib {

namespace {

pugi::xml_node Node(const void* p)
{
    return pugi::xml_node(static_cast<pugi::xml_node_struct*>(const_cast<void*>(p)));
}

pugi::xml_node NextElement(pugi::xml_node node)
{
    while (node && node.type() != pugi::node_element)
        node = node.next_sibling();
    return node;
}

pugi::xml_attribute AttributeAt(pugi::xml_node node, int index)
{
    pugi::xml_attribute attr = node.first_attribute();
    for (int i = 0; attr && i < index; ++i)
        attr = attr.next_attribute();
    return attr;
}

CDuiString Wide(const char* text)
{
    return Utf8ToWide(text ? text : "");
}

}  // namespace

CMarkupNode::CMarkupNode() : m_node(nullptr) {}

CMarkupNode::CMarkupNode(const void* node) : m_node(node) {}

bool CMarkupNode::IsValid() const
{
    return m_node != nullptr;
}

CDuiString CMarkupNode::GetName() const
{
    return IsValid() ? Wide(Node(m_node).name()) : CDuiString();
}

CDuiString CMarkupNode::GetValue() const
{
    return IsValid() ? Wide(Node(m_node).text().get()) : CDuiString();
}

bool CMarkupNode::HasChildren() const
{
    return GetChild().IsValid();
}

CMarkupNode CMarkupNode::GetChild() const
{
    if (!IsValid())
        return CMarkupNode();
    pugi::xml_node child = NextElement(Node(m_node).first_child());
    return child ? CMarkupNode(child.internal_object()) : CMarkupNode();
}

CMarkupNode CMarkupNode::GetSibling() const
{
    if (!IsValid())
        return CMarkupNode();
    pugi::xml_node next = NextElement(Node(m_node).next_sibling());
    return next ? CMarkupNode(next.internal_object()) : CMarkupNode();
}

int CMarkupNode::GetAttributeCount() const
{
    int count = 0;
    if (IsValid())
        for (pugi::xml_attribute a = Node(m_node).first_attribute(); a; a = a.next_attribute())
            ++count;
    return count;
}

CDuiString CMarkupNode::GetAttributeName(int index) const
{
    return IsValid() ? Wide(AttributeAt(Node(m_node), index).name()) : CDuiString();
}

CDuiString CMarkupNode::GetAttributeValue(int index) const
{
    return IsValid() ? Wide(AttributeAt(Node(m_node), index).value()) : CDuiString();
}

CDuiString CMarkupNode::GetAttributeValue(const CDuiString& name) const
{
    CDuiString value;
    const int count = GetAttributeCount();
    for (int i = 0; i < count; ++i)
        if (_wcsicmp(GetAttributeName(i).c_str(), name.c_str()) == 0)
            value = GetAttributeValue(i);  // a later duplicate wins
    return value;
}

bool CMarkupNode::HasAttribute(const CDuiString& name) const
{
    const int count = GetAttributeCount();
    for (int i = 0; i < count; ++i)
        if (_wcsicmp(GetAttributeName(i).c_str(), name.c_str()) == 0)
            return true;
    return false;
}

CMarkup::CMarkup() : m_doc(std::make_unique<pugi::xml_document>()) {}

CMarkup::~CMarkup() = default;

bool CMarkup::Load(const CDuiString& text)
{
    m_doc->reset();
    m_loaded = false;
    if (text.empty())
        return false;
    const pugi::xml_parse_result result = m_doc->load_buffer(
        text.data(), text.size() * sizeof(wchar_t), pugi::parse_default, pugi::encoding_wchar);
    m_loaded = result && m_doc->document_element();
    return m_loaded;
}

CMarkupNode CMarkup::GetRoot() const
{
    if (!m_loaded)
        return CMarkupNode();
    return CMarkupNode(m_doc->document_element().internal_object());
}

CControlUI* CDialogBuilder::Create(const CDuiString& xml, IDialogBuilderCallback* pCallback,
                                   CPaintManagerUI* pManager, CControlUI* pParent)
{
    CMarkup markup;
    if (!markup.Load(xml))
        return nullptr;
    return CreateFromNode(markup.GetRoot(), pCallback, pManager, pParent);
}

CControlUI* CDialogBuilder::CreateFromNode(const CMarkupNode& root, IDialogBuilderCallback* pCallback,
                                           CPaintManagerUI* pManager, CControlUI* pParent)
{
    if (!root.IsValid() || !pParent)
        return nullptr;
    auto* pContainer = static_cast<IContainerUI*>(pParent->GetInterface(L"Container"));
    if (!pContainer)
        return nullptr;
    for (CMarkupNode node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
        const CDuiString element = node.GetName();
        CControlUI* pControl = CControlFactory::GetInstance()->CreateControl(L"C" + element + L"UI");
        if (!pControl && pCallback)
            pControl = pCallback->CreateControl(element);
        if (!pControl)
            continue;
        if (!pContainer->Add(pControl)) {
            delete pControl;
            continue;
        }
        if (pManager && pControl->GetManager() != pManager)
            pControl->SetManager(pManager, pParent, false);
        if (pManager) {
            const CDuiString defaults = pManager->GetDefaultAttributeList(element);
            if (!defaults.empty())
                pControl->ApplyAttributeList(defaults);
        }
        const int count = node.GetAttributeCount();
        for (int i = 0; i < count; ++i)
            pControl->SetAttribute(node.GetAttributeName(i), node.GetAttributeValue(i));
        if (node.HasChildren() && pControl->GetInterface(L"Container"))
            CreateFromNode(node, pCallback, pManager, pControl);
    }
    return pParent;
}

}  // namespace DuiLib
