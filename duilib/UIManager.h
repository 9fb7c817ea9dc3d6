#pragma once
#include "duilib/UIDefine.h"

#include <map>
#include <memory>
#include <vector>

namespace Gdiplus {
class Font;
}

namespace DuiLib {

class CControlUI;

struct TFontInfo {
    HFONT hFont = nullptr;
    CDuiString sFaceName;
    int iSize = 0;  // unscaled, in pixels
    bool bBold = false;
    bool bUnderline = false;
    bool bItalic = false;
    bool bStrikeout = false;
    std::unique_ptr<Gdiplus::Font> gdiplusFont;  // made on first use

    TFontInfo();
    ~TFontInfo();
    TFontInfo(const TFontInfo&) = delete;
    TFontInfo& operator=(const TFontInfo&) = delete;
};

// Owns one window's control tree, its fonts, named styles and default
// attribute lists; lays out, paints and turns window messages into control
// events and notifications. Works without a window as well, painting into an
// off-screen bitmap of a given size.
class CPaintManagerUI {
public:
    CPaintManagerUI();
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // Called first in WM_CREATE. Reads the DPI scale of the window's monitor.
    void Init(HWND hWnd);
    HWND GetPaintWindow() const { return m_hWndPaint; }
    HDC GetMeasureDC() const { return m_hDcMeasure; }

    // Attaches a control tree (deleting the previous one) and initialises it.
    bool AttachDialog(CControlUI* pControl);
    CControlUI* GetRoot() const { return m_pRoot; }
    // Binds the subtree to this manager under pParent and runs each control's init once.
    bool InitControls(CControlUI* pControl, CControlUI* pParent = nullptr);

    void SetLayered(bool bLayered) { m_bLayered = bLayered; }
    bool IsLayered() const { return m_bLayered; }

    // Window size used without a window (and before the first WM_SIZE).
    void SetInitSize(int cx, int cy);
    SIZE GetClientSize() const;

    void Invalidate();
    void Invalidate(const RECT& rc);
    // Area waiting for the next paint; empty when nothing changed since.
    const RECT& GetDirtyRect() const { return m_rcDirty; }
    void NeedUpdate();
    // Lays the tree out for the current client size when anything changed.
    void EnsureLayout();

    // Renders the whole tree into the manager's 32-bit top-down DIB (premultiplied
    // BGRA, size = client size) and returns its bits, valid until the next render.
    // Pixels drawn without alpha (alpha 0, colour not black) come out opaque.
    const DWORD* RenderLayered();
    HDC GetLayeredDC() const { return m_hDcLayered; }

    // Returns true when the message was consumed; lRes is then its result.
    bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

    bool AddNotifier(INotifyUI* pNotifier);
    bool RemoveNotifier(INotifyUI* pNotifier);
    void SendNotify(CControlUI* pControl, const CDuiString& type, WPARAM wParam = 0, LPARAM lParam = 0);

    CControlUI* GetFocus() const { return m_pFocus; }
    void SetFocus(CControlUI* pControl);
    CControlUI* GetHover() const { return m_pEventHover; }
    // The controls being removed from the tree must be forgotten by the input state.
    void ReapObjects(CControlUI* pControl);
    CControlUI* FindControl(POINT pt) const;
    CControlUI* FindControl(const CDuiString& name) const;

    // DPI scale in percent (100 = 96 dpi).
    int GetDPIScale() const { return m_nDPIScale; }
    void SetDPIScale(int nPercent);
    int ScaleValue(int value) const;

    // Fonts: sizes are unscaled pixels; faces longer than 31 characters are cut.
    HFONT AddFont(int id, const CDuiString& face, int size, bool bold, bool underline, bool italic,
                  bool strikeout, bool shared = false);
    bool RemoveFont(int id, bool shared = false);
    void SetDefaultFont(const CDuiString& face, int size, bool bold, bool underline, bool italic,
                        bool strikeout, bool shared = false);
    // The window's table, then the shared one, else the default font.
    HFONT GetFont(int id);
    TFontInfo* GetFontInfo(int id);
    Gdiplus::Font* GetGdiplusFont(int id);
    // Extent of text drawn on one line with the font of an id.
    SIZE MeasureText(const CDuiString& text, int iFont);

    // Named styles and per-class default attribute lists; window table first, then shared.
    void AddStyle(const CDuiString& name, const CDuiString& value, bool shared = false);
    CDuiString GetStyle(const CDuiString& name) const;
    bool RemoveStyle(const CDuiString& name, bool shared = false);
    void AddDefaultAttributeList(const CDuiString& className, const CDuiString& list, bool shared = false);
    CDuiString GetDefaultAttributeList(const CDuiString& className) const;
    bool RemoveDefaultAttributeList(const CDuiString& className, bool shared = false);

    // Releases the process-wide font, style and default tables (tests, shutdown).
    static void ClearSharedTables();

private:
    struct NoCaseLess {
        bool operator()(const CDuiString& a, const CDuiString& b) const;
    };
    using FontTable = std::map<int, std::unique_ptr<TFontInfo>>;
    using TextTable = std::map<CDuiString, CDuiString, NoCaseLess>;
    struct SharedTables {
        FontTable fonts;
        std::unique_ptr<TFontInfo> defaultFont;
        TextTable styles;
        TextTable defaults;
    };
    static SharedTables& Shared();

    std::unique_ptr<TFontInfo> MakeFont(const CDuiString& face, int size, bool bold, bool underline,
                                        bool italic, bool strikeout) const;
    TFontInfo* DefaultFontInfo();
    void RebuildFonts();
    bool EnsureLayeredBuffer(SIZE size);
    void ReleaseLayeredBuffer();
    void PaintWindow();
    void UpdateHover(POINT pt);
    void ShowToolTip(CControlUI* pControl, POINT ptClient);
    void HideToolTip();
    void SendEvent(CControlUI* pControl, int type, POINT pt, WPARAM wParam = 0, LPARAM lParam = 0);

    HWND m_hWndPaint = nullptr;
    HDC m_hDcMeasure = nullptr;
    CControlUI* m_pRoot = nullptr;
    CControlUI* m_pFocus = nullptr;
    CControlUI* m_pEventHover = nullptr;
    CControlUI* m_pEventClick = nullptr;
    bool m_bLayered = false;
    bool m_bUpdateNeeded = true;
    bool m_bMouseTracking = false;
    SIZE m_szInit = {0, 0};
    RECT m_rcDirty = {0, 0, 0, 0};
    RECT m_rcLaidOut = {0, 0, 0, 0};
    int m_nDPIScale = 100;

    HDC m_hDcLayered = nullptr;
    HBITMAP m_hbmpLayered = nullptr;
    HGDIOBJ m_hbmpOld = nullptr;
    DWORD* m_pLayeredBits = nullptr;
    SIZE m_szLayered = {0, 0};

    HWND m_hWndToolTip = nullptr;
    CControlUI* m_pToolTipControl = nullptr;
    CDuiString m_sToolTipText;

    std::vector<INotifyUI*> m_notifiers;
    FontTable m_fonts;
    std::unique_ptr<TFontInfo> m_defaultFont;
    TextTable m_styles;
    TextTable m_defaults;
};

}  // namespace DuiLib
