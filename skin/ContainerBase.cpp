#include "platform/Win32.h"

#include "skin/ContainerBase.h"

#include "duilib/UIlib.h"
#include "skin/Workspace.h"

namespace VelUICore {

namespace {
constexpr size_t kMaxNameChars = 63;
}  // namespace

CContainerBase::CContainerBase() = default;

CContainerBase::~CContainerBase() = default;

void CContainerBase::ReservedHook(void*) {}

void* CContainerBase::ReservedPassThrough(void* value)
{
    return value;
}

void CContainerBase::Notify(DuiLib::TNotifyUI&)
{
    if (!m_workspace)
        return;
    AsyncMessage record;
    record.receiverId = m_workspaceId;
    record.context = m_containerId;
    record.receiverTag = m_workspace->SkinGeneration();
    m_workspace->OnAsyncResult(&record);
}

void CContainerBase::Attach(CWorkspace* workspace, int32_t containerId, const std::wstring& name,
                            DuiLib::CControlUI* root)
{
    m_workspace = workspace;
    m_workspaceId = workspace->Id();
    m_containerId = containerId;
    m_name = name.substr(0, kMaxNameChars);
    m_root = root;
}

void DetachAndDelete(DuiLib::CControlUI* control)
{
    if (!control)
        return;
    DuiLib::CControlUI* parent = control->GetParent();
    if (!parent) {
        delete control;
        return;
    }
    auto* container = static_cast<DuiLib::IContainerUI*>(parent->GetInterface(L"Container"));
    if (!container)
        return;
    const bool autoDestroy = container->IsAutoDestroy();
    container->SetAutoDestroy(false);
    container->Remove(control);
    container->SetAutoDestroy(autoDestroy);
    delete control;
}

}  // namespace VelUICore
