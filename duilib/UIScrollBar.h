#pragma once
#include "duilib/UIControl.h"

namespace DuiLib {

class CContainerUI;

// A flat bar: the track in bkcolor, the thumb in thumbcolor. The owner
// container sets the range and follows the position.
class CScrollBarUI : public CControlUI {
public:
    CScrollBarUI();

    CDuiString GetClass() const override;
    LPVOID GetInterface(const CDuiString& name) override;

    CContainerUI* GetOwner() const { return m_pOwner; }
    void SetOwner(CContainerUI* pOwner) { m_pOwner = pOwner; }
    bool IsHorizontal() const { return m_bHorizontal; }
    void SetHorizontal(bool bHorizontal);
    int GetScrollRange() const { return m_nRange; }
    void SetScrollRange(int nRange);
    int GetScrollPos() const { return m_nScrollPos; }
    void SetScrollPos(int nPos);
    int GetLineSize() const { return m_nLineSize; }
    // Thickness across the bar.
    int GetThickness() const;
    DWORD GetThumbColor() const { return m_dwThumbColor; }
    RECT GetThumbRect() const;

    void SetAttribute(const CDuiString& name, const CDuiString& value) override;
    void DoEvent(TEventUI& event) override;
    void PaintStatusImage(HDC hDC) override;

private:
    void ScrollTo(int nPos);

    CContainerUI* m_pOwner = nullptr;
    bool m_bHorizontal = false;
    int m_nRange = 0;
    int m_nScrollPos = 0;
    int m_nLineSize = 8;
    DWORD m_dwThumbColor = 0x66000000;
    bool m_bDragging = false;
    POINT m_ptDragStart = {0, 0};
    int m_nDragStartPos = 0;
};

}  // namespace DuiLib
