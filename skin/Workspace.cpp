#include "platform/Win32.h"
#include "skin/Workspace.h"

#include "duilib/UIlib.h"
#include "skin/ContainerBase.h"

#include <cwchar>
#include <memory>

namespace VelUICore {

std::atomic<CWorkspace*> CWorkspace::s_slots[CWorkspace::kMaxReceivers];
std::atomic<int32_t> CWorkspace::s_liveCount{0};
std::atomic<int32_t> CWorkspace::s_nextId{0};

void FreeAsyncMessage(AsyncMessage* message) noexcept
{
    if (!message)
        return;
    if (message->release && message->payload)
        message->release(message->payload);
    delete message;
}

CWorkspace::CWorkspace()
{
    if (s_liveCount.fetch_add(1) + 1 > kMaxReceivers) {
        // Full: this workspace stays id 0, binds to nothing, receives nothing.
        s_liveCount.fetch_sub(1);
        return;
    }
    m_id = s_nextId.fetch_add(1) + 1;
    for (auto& slot : s_slots) {
        CWorkspace* empty = nullptr;
        if (slot.compare_exchange_strong(empty, this))
            break;
    }
}

namespace {

std::atomic<int32_t> s_nextContainerId{0};

bool IsNamed(const DuiLib::CMarkupNode& node, const wchar_t* name)
{
    return _wcsicmp(node.GetName().c_str(), name) == 0;
}

// "true" ignoring case is true; anything else, or nothing, is false.
bool IsTrue(const std::wstring& value)
{
    return _wcsicmp(value.c_str(), L"true") == 0;
}

int ToInt(const std::wstring& value, int fallback)
{
    wchar_t* end = nullptr;
    const long v = std::wcstol(value.c_str(), &end, 10);
    return end == value.c_str() ? fallback : static_cast<int>(v);
}

} // namespace

CWorkspace::~CWorkspace()
{
    // The containers' root controls stay in the paint manager's tree.
    m_containers.clear();
    if (m_paintManager)
        m_paintManager->RemoveNotifier(this);
    for (auto& slot : s_slots) {
        CWorkspace* self = this;
        slot.compare_exchange_strong(self, nullptr);
    }
    if (m_id != 0)
        s_liveCount.fetch_sub(1);
}

void CWorkspace::Bind(HWND window, DuiLib::CPaintManagerUI* paintManager)
{
    if (!window || m_id == 0 || m_paintManager || m_window)
        return;
    m_window = window;
    m_paintManager = paintManager;
    m_thread = ::GetCurrentThreadId();
    if (paintManager)
        paintManager->AddNotifier(this);
}

void CWorkspace::SetCallback(AsyncCallback callback, void* user)
{
    m_callback = callback;
    m_user = user;
}

int32_t CWorkspace::OnAsyncResult(AsyncMessage* message)
{
    return m_callback ? m_callback(message, m_user) : 0;
}

bool CWorkspace::Initialize(SkinFolder* skinFolder)
{
    if (!skinFolder || !skinFolder->loaded || !m_paintManager)
        return false;
    ++m_skinGeneration;
    m_skinFolder = skinFolder;
    LoadFonts(skinFolder->globalText);
    LoadStyles(skinFolder->globalText);
    DuiLib::CControlUI* root = m_paintManager->GetRoot();
    if (root && root->GetInterface(L"Container"))
        RefreshScrollBars(root);
    m_paintManager->Invalidate();
    return true;
}

void CWorkspace::LoadFonts(const std::wstring& text)
{
    if (!m_paintManager)
        return;
    for (const auto& added : m_fontsAdded)
        m_paintManager->RemoveFont(added.first, added.second);
    m_fontsAdded.clear();

    DuiLib::CMarkup markup;
    if (!markup.Load(text))
        return;
    for (DuiLib::CMarkupNode node = markup.GetRoot().GetChild(); node.IsValid(); node = node.GetSibling()) {
        if (!IsNamed(node, L"Font"))
            continue;
        int id = -1;
        int size = 12;
        std::wstring face;
        bool bold = false, underline = false, italic = false, strikeout = false, isDefault = false, shared = false;
        const int count = node.GetAttributeCount();
        for (int i = 0; i < count; ++i) {
            const std::wstring name = node.GetAttributeName(i);
            const std::wstring value = node.GetAttributeValue(i);
            const wchar_t* n = name.c_str();
            if (_wcsicmp(n, L"id") == 0)
                id = ToInt(value, -1);
            else if (_wcsicmp(n, L"name") == 0)
                face = value;
            else if (_wcsicmp(n, L"size") == 0)
                size = ToInt(value, 12);
            else if (_wcsicmp(n, L"bold") == 0)
                bold = IsTrue(value);
            else if (_wcsicmp(n, L"underline") == 0)
                underline = IsTrue(value);
            else if (_wcsicmp(n, L"italic") == 0)
                italic = IsTrue(value);
            else if (_wcsicmp(n, L"strikeout") == 0)
                strikeout = IsTrue(value);
            else if (_wcsicmp(n, L"default") == 0)
                isDefault = IsTrue(value);
            else if (_wcsicmp(n, L"shared") == 0)
                shared = IsTrue(value);
        }
        if (id < 0 || face.empty())
            continue;
        m_paintManager->RemoveFont(id, shared);
        m_paintManager->AddFont(id, face, size, bold, underline, italic, strikeout, shared);
        if (isDefault)
            m_paintManager->SetDefaultFont(face, size, bold, underline, italic, strikeout, shared);
        m_fontsAdded.emplace_back(id, shared);
    }
}

void CWorkspace::LoadStyles(const std::wstring& text)
{
    if (!m_paintManager)
        return;
    DuiLib::CMarkup markup;
    if (!markup.Load(text))
        return;
    for (DuiLib::CMarkupNode node = markup.GetRoot().GetChild(); node.IsValid(); node = node.GetSibling()) {
        const bool isStyle = IsNamed(node, L"Style");
        if (!isStyle && !IsNamed(node, L"Default"))
            continue;
        const std::wstring name = node.GetAttributeValue(L"name");
        const std::wstring value = node.GetAttributeValue(L"value");
        const bool shared = IsTrue(node.GetAttributeValue(L"shared"));
        if (name.empty())
            continue;
        if (isStyle) {
            m_paintManager->RemoveStyle(name, shared);
            m_paintManager->AddStyle(name, value, shared);
        } else {
            m_paintManager->RemoveDefaultAttributeList(name, shared);
            m_paintManager->AddDefaultAttributeList(name, value, shared);
        }
    }
}

void CWorkspace::RefreshScrollBars(DuiLib::CControlUI* control)
{
    auto* container = dynamic_cast<DuiLib::CContainerUI*>(control);
    if (!container)
        return;
    const bool vertical = container->GetVerticalScrollBar() != nullptr;
    const bool horizontal = container->GetHorizontalScrollBar() != nullptr;
    if (vertical || horizontal) {
        container->EnableScrollBar(false, false);
        container->EnableScrollBar(vertical, horizontal);
    }
    for (int i = 0; i < container->GetCount(); ++i) {
        DuiLib::CControlUI* item = container->GetItemAt(i);
        if (item && item->GetInterface(L"Container"))
            RefreshScrollBars(item);
    }
}

bool CWorkspace::LoadContainer(CContainerBase* container, const std::wstring& templateName)
{
    if (!container || templateName.empty() || !m_paintManager || !m_skinFolder || container->GetRoot())
        return false;
    const std::wstring text = m_skinFolder->GetContainerXml(templateName);
    if (text.empty())
        return false;
    DuiLib::CMarkup markup;
    if (!markup.Load(text))
        return false;
    const DuiLib::CMarkupNode rootNode = markup.GetRoot();
    const std::wstring element = rootNode.GetName();

    DuiLib::CControlUI* control = DuiLib::CControlFactory::GetInstance()->CreateControl(L"C" + element + L"UI");
    if (control && !control->GetInterface(L"Container")) {
        delete control;
        control = nullptr;
    }
    if (!control)
        control = new DuiLib::CContainerUI;

    DuiLib::CControlUI* windowRoot = m_paintManager->GetRoot();
    auto* rootContainer =
        windowRoot ? static_cast<DuiLib::IContainerUI*>(windowRoot->GetInterface(L"Container")) : nullptr;
    if (!rootContainer) {
        delete control;
        return false;
    }
    const int32_t containerId = s_nextContainerId.fetch_add(1) + 1;
    if (containerId == 0) {
        delete control;
        return false;
    }
    control->SetTag(static_cast<UINT_PTR>(static_cast<uint32_t>(containerId)));
    if (!rootContainer->Add(control)) {
        delete control;
        return false;
    }
    const std::wstring defaults = m_paintManager->GetDefaultAttributeList(element);
    if (!defaults.empty())
        control->ApplyAttributeList(defaults);
    const int count = rootNode.GetAttributeCount();
    for (int i = 0; i < count; ++i)
        control->SetAttribute(rootNode.GetAttributeName(i), rootNode.GetAttributeValue(i));

    DuiLib::CDialogBuilder::CreateFromNode(rootNode, nullptr, m_paintManager, control);
    m_paintManager->InitControls(control, windowRoot);

    if (m_id == 0) {
        DetachAndDelete(control);
        return false;
    }
    container->Attach(this, containerId, templateName, control);
    m_containers.emplace_back(container);
    return true;
}

void CWorkspace::Notify(DuiLib::TNotifyUI& msg)
{
    for (DuiLib::CControlUI* control = msg.pSender; control; control = control->GetParent()) {
        const UINT_PTR tag = control->GetTag();
        if (tag == 0)
            continue;
        for (const auto& container : m_containers) {
            if (static_cast<UINT_PTR>(static_cast<uint32_t>(container->GetContainerId())) == tag) {
                container->Notify(msg);
                break;
            }
        }
        return;
    }
}

void CWorkspace::OnPostedResult(WPARAM wParam)
{
    auto* message = reinterpret_cast<AsyncMessage*>(wParam);
    if (!message)
        return;
    // A record of an earlier skin generation belongs to containers that no
    // longer exist.
    if (m_id != 0 && message->receiverId == m_id && message->receiverTag == m_skinGeneration)
        OnAsyncResult(message);
    FreeAsyncMessage(message);
}

bool CWorkspace::Deliver(int32_t receiverId, int32_t context, int32_t requestType, void* payload,
                         void (*release)(void*))
{
    auto dropPayload = [&] {
        if (release && payload)
            release(payload);
        return false;
    };
    if (receiverId == 0)
        return dropPayload();
    CWorkspace* receiver = nullptr;
    for (auto& slot : s_slots) {
        CWorkspace* candidate = slot.load();
        if (candidate && candidate->m_id == receiverId) {
            receiver = candidate;
            break;
        }
    }
    if (!receiver || !receiver->m_window || context == 0)
        return dropPayload();

    auto message = std::make_unique<AsyncMessage>();
    message->receiverId = receiver->m_id;
    message->context = context;
    message->receiverTag = receiver->m_skinGeneration;
    message->requestType = requestType;
    message->payload = payload;
    message->release = release;

    if (::GetCurrentThreadId() == receiver->m_thread) {
        receiver->OnAsyncResult(message.get());
        FreeAsyncMessage(message.release());
        return true;
    }
    if (::PostMessageW(receiver->m_window, kAsyncResultMessage, reinterpret_cast<WPARAM>(message.get()), 0)) {
        message.release();
        return true;
    }
    FreeAsyncMessage(message.release());
    return false;
}

CMainWorkspace::~CMainWorkspace() = default;

} // namespace VelUICore
