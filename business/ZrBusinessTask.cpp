#include "business/ZrBusinessTask.h"

#include "business/ZrBusinessObject.h"

void ZrBusinessCommonTask::DoTask()
{
    if (m_boolFn)
        (void)m_boolFn();
    else if (m_voidFn)
        m_voidFn();
}

void ZrBusinessTimerTask::DoTask()
{
    for (const auto& [index, manager] : m_managers) {
        if (manager && manager->OnTimer(m_timerId))
            break;
    }
}
