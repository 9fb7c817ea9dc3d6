#pragma once
#include "duilib/UIDefine.h"

#include <map>

namespace DuiLib {

class CControlUI;

using CreateClass = CControlUI* (*)();

// Process-wide map from class name ("CLabelUI") to a creation function. The
// toolkit's own classes are registered at first use; windows add theirs.
class CControlFactory {
public:
    static CControlFactory* GetInstance();

    // A later registration under the same name replaces the earlier one.
    void RegistControl(const CDuiString& className, CreateClass pFunc);
    // None when the name is unknown.
    CControlUI* CreateControl(const CDuiString& className) const;

private:
    CControlFactory();
    std::map<CDuiString, CreateClass> m_classes;
};

}  // namespace DuiLib
