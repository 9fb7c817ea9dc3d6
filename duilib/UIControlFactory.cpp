#include "platform/Win32.h"

#include "duilib/UIControlFactory.h"

#include "duilib/UIContainer.h"
#include "duilib/UILabel.h"
#include "duilib/UIScrollBar.h"

namespace DuiLib {

namespace {
template <typename T>
CControlUI* Make()
{
    return new T;
}
}  // namespace

CControlFactory::CControlFactory()
{
    RegistControl(L"CControlUI", &Make<CControlUI>);
    RegistControl(L"CContainerUI", &Make<CContainerUI>);
    RegistControl(L"CVerticalLayoutUI", &Make<CVerticalLayoutUI>);
    RegistControl(L"CHorizontalLayoutUI", &Make<CHorizontalLayoutUI>);
    RegistControl(L"CLabelUI", &Make<CLabelUI>);
    RegistControl(L"CButtonUI", &Make<CButtonUI>);
    RegistControl(L"CScrollBarUI", &Make<CScrollBarUI>);
}

CControlFactory* CControlFactory::GetInstance()
{
    static CControlFactory instance;
    return &instance;
}

void CControlFactory::RegistControl(const CDuiString& className, CreateClass pFunc)
{
    if (className.empty() || !pFunc)
        return;
    m_classes[className] = pFunc;
}

CControlUI* CControlFactory::CreateControl(const CDuiString& className) const
{
    auto it = m_classes.find(className);
    return it == m_classes.end() ? nullptr : it->second();
}

}  // namespace DuiLib
