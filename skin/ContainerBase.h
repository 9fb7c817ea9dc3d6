#pragma once
#include "duilib/UIDefine.h"

#include <cstdint>
#include <string>

namespace DuiLib {
class CControlUI;
}

namespace VelUICore {

class CWorkspace;

// A subtree of controls built from one template and owned, once loaded, by
// its workspace. The root control belongs to the paint manager's tree.
class CContainerBase {
public:
    CContainerBase();
    virtual ~CContainerBase();
    CContainerBase(const CContainerBase&) = delete;
    CContainerBase& operator=(const CContainerBase&) = delete;

    // Two hooks kept for the record layout of containers; nothing calls them.
    virtual void ReservedHook(void* value);
    virtual void* ReservedPassThrough(void* value);
    // Default: reports the notification to the workspace's callback as a
    // record of request type 0 addressed to this container.
    virtual void Notify(DuiLib::TNotifyUI& msg);

    CWorkspace* GetWorkspace() const { return m_workspace; }
    int32_t GetWorkspaceId() const { return m_workspaceId; }
    int32_t GetContainerId() const { return m_containerId; }
    const std::wstring& GetName() const { return m_name; }
    DuiLib::CControlUI* GetRoot() const { return m_root; }
    bool IsLoaded() const { return m_root != nullptr; }

private:
    friend class CWorkspace;
    void Attach(CWorkspace* workspace, int32_t containerId, const std::wstring& name, DuiLib::CControlUI* root);

    CWorkspace* m_workspace = nullptr;
    int32_t m_workspaceId = 0;
    int32_t m_containerId = 0;
    std::wstring m_name;  // at most 63 characters
    DuiLib::CControlUI* m_root = nullptr;
};

// Removes a control from its container parent without the parent deleting it,
// then deletes it. A parent that is not a container leaves the control alone.
void DetachAndDelete(DuiLib::CControlUI* control);

}  // namespace VelUICore
