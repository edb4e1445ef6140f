// CHyperLink on real windows of the test process: subclassing of control and
// parent, the shared font, hovering, opening and the link colour.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ui/hyperlink.h"

namespace {

LRESULT CALLBACK PlainParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) return (LRESULT)GetStockObject(GRAY_BRUSH);
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateParent() {
    static ATOM atom = 0;
    if (atom == 0) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = PlainParentProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "HyperlinkTestParent";
        atom = RegisterClassA(&windowClass);
    }
    return CreateWindowA("HyperlinkTestParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, NULL, NULL,
                         GetModuleHandleA(NULL), NULL);
}

HWND CreateStatic(HWND parent, int id, int y) {
    HWND control = CreateWindowA("STATIC", "link", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, y, 100, 20, parent,
                                 (HMENU)(INT_PTR)id, GetModuleHandleA(NULL), NULL);
    SendMessageA(control, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), FALSE);
    return control;
}

class CountingLink : public CHyperLink {
public:
    int enters = 0;
    int leaves = 0;
    void OnEnter() override { enters++; }
    void OnLeave() override { leaves++; }
};

std::vector<std::string> g_opened;
bool RecordOpen(const char* address) {
    g_opened.push_back(address);
    return true;
}

class HyperLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_opened.clear();
        SetUrlOpener(RecordOpen);
        parent = CreateParent();
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override {
        if (IsWindow(parent)) DestroyWindow(parent);
        SetUrlOpener(NULL);
        EXPECT_EQ(CHyperLink::AttachCount(), 0);
    }
    HWND parent = NULL;
};

}  // namespace

TEST(HyperLinkUrl, SameAddressKeepsTheCopyAndANewOneReplacesIt) {
    CHyperLink link;
    EXPECT_EQ(link.GetUrl(), nullptr);
    ASSERT_TRUE(link.SetUrl("https://support.example/"));
    const char* first = link.GetUrl();
    ASSERT_TRUE(link.SetUrl("https://support.example/"));
    EXPECT_EQ(link.GetUrl(), first);
    std::string other = "https://support.example/app/ask";
    ASSERT_TRUE(link.SetUrl(other.c_str()));
    EXPECT_STREQ(link.GetUrl(), "https://support.example/app/ask");
    EXPECT_NE(link.GetUrl(), other.c_str());  // a copy, not the caller's buffer
    ASSERT_TRUE(link.SetUrl(""));
    EXPECT_STREQ(link.GetUrl(), "");
}

TEST_F(HyperLinkTest, TwoLinksSubclassTheParentOnceAndKeepItsOwnProcedure) {
    HWND first = CreateStatic(parent, 1, 10);
    HWND second = CreateStatic(parent, 2, 40);
    CHyperLink a, b;
    ASSERT_TRUE(a.SetUrl("http://a.example/"));
    ASSERT_TRUE(b.SetUrl("http://b.example/"));
    a.Attach(first);
    LONG_PTR installed = GetWindowLongPtrA(parent, GWLP_WNDPROC);
    b.Attach(second);
    EXPECT_EQ(GetWindowLongPtrA(parent, GWLP_WNDPROC), installed);
    EXPECT_NE(installed, (LONG_PTR)PlainParentProc);
    // The parent's property holds its own procedure, not a link procedure.
    EXPECT_EQ((LONG_PTR)GetPropA(parent, MAKEINTATOM(CHyperLink::PropertyAtom())), (LONG_PTR)PlainParentProc);
    EXPECT_EQ(GetPropA(first, MAKEINTATOM(CHyperLink::PropertyAtom())), (HANDLE)&a);
    EXPECT_EQ(GetPropA(second, MAKEINTATOM(CHyperLink::PropertyAtom())), (HANDLE)&b);
    EXPECT_TRUE(GetWindowLongPtrA(first, GWL_STYLE) & SS_NOTIFY);
    EXPECT_EQ(CHyperLink::AttachCount(), 2);

    // The shared font is the control's font with underline.
    HFONT underlined = (HFONT)SendMessageA(first, WM_GETFONT, 0, 0);
    EXPECT_EQ(underlined, CHyperLink::UnderlinedFont());
    EXPECT_EQ((HFONT)SendMessageA(second, WM_GETFONT, 0, 0), underlined);
    LOGFONTA original, made;
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof original, &original);
    GetObjectA(underlined, sizeof made, &made);
    EXPECT_TRUE(made.lfUnderline);
    EXPECT_EQ(made.lfHeight, original.lfHeight);
    EXPECT_STREQ(made.lfFaceName, original.lfFaceName);

    // Destroying the parent puts its procedure back before it goes.
    DestroyWindow(parent);
    EXPECT_EQ(CHyperLink::AttachCount(), 0);
}

TEST_F(HyperLinkTest, AttachingTheSameControlTwiceDoesNotRecurse) {
    HWND control = CreateStatic(parent, 1, 10);
    CHyperLink link;
    ASSERT_TRUE(link.SetUrl("http://a.example/"));
    link.Attach(control);
    link.Attach(control);
    EXPECT_EQ(CHyperLink::AttachCount(), 1);
    SetWindowTextA(control, "still answers");
    char text[32] = {};
    GetWindowTextA(control, text, sizeof text);
    EXPECT_STREQ(text, "still answers");
}

TEST_F(HyperLinkTest, LastControlDestroyedDeletesTheFontAndTheNextAttachMakesItAgain) {
    HWND control = CreateStatic(parent, 1, 10);
    CHyperLink link;
    ASSERT_TRUE(link.SetUrl("http://a.example/"));
    link.Attach(control);
    HFONT underlined = CHyperLink::UnderlinedFont();
    ASSERT_NE(underlined, nullptr);
    DestroyWindow(control);
    EXPECT_EQ(CHyperLink::AttachCount(), 0);
    EXPECT_EQ(CHyperLink::UnderlinedFont(), nullptr);
    EXPECT_EQ(GetObjectType(underlined), 0u);  // deleted

    // A later attach starts from that control's own font.
    HWND next = CreateStatic(parent, 2, 40);
    LOGFONTA big = {};
    big.lfHeight = -24;
    lstrcpyA(big.lfFaceName, "Tahoma");
    HFONT bigFont = CreateFontIndirectA(&big);
    SendMessageA(next, WM_SETFONT, (WPARAM)bigFont, FALSE);
    link.Attach(next);
    LOGFONTA made;
    GetObjectA(CHyperLink::UnderlinedFont(), sizeof made, &made);
    EXPECT_EQ(made.lfHeight, -24);
    EXPECT_TRUE(made.lfUnderline);
    DestroyWindow(next);
    DeleteObject(bigFont);
}

TEST_F(HyperLinkTest, HoverEntersOnceAndLeavesOnceWhenThePointerGoesOut) {
    HWND control = CreateStatic(parent, 1, 10);
    CountingLink link;
    ASSERT_TRUE(link.SetUrl("http://a.example/"));
    link.Attach(control);
    SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(6, 5));
    EXPECT_TRUE(link.IsHovering());
    EXPECT_EQ(GetCapture(), control);
    EXPECT_EQ(link.enters, 1);
    EXPECT_EQ(link.leaves, 0);
    // Left of the control: a negative x.
    SendMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(-3, 5));
    EXPECT_FALSE(link.IsHovering());
    EXPECT_NE(GetCapture(), control);
    EXPECT_EQ(link.enters, 1);
    EXPECT_EQ(link.leaves, 1);
    // Focus in and out toggle the same pair.
    SendMessageA(control, WM_SETFOCUS, 0, 0);
    SendMessageA(control, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(link.enters, 2);
    EXPECT_EQ(link.leaves, 2);
}

TEST_F(HyperLinkTest, ClickAndSpaceOpenTheAddressOtherKeysAndEmptyAddressesDoNot) {
    HWND control = CreateStatic(parent, 1, 10);
    CHyperLink link;
    ASSERT_TRUE(link.SetUrl("https://support.runeveil.example/app/ask/"));
    link.Attach(control);
    SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageA(control, WM_KEYUP, VK_SPACE, 0);
    SendMessageA(control, WM_KEYUP, VK_RETURN, 0);
    ASSERT_EQ(g_opened.size(), 2u);
    EXPECT_EQ(g_opened[0], "https://support.runeveil.example/app/ask/");
    EXPECT_EQ(g_opened[1], "https://support.runeveil.example/app/ask/");
    ASSERT_TRUE(link.SetUrl(""));
    SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_opened.size(), 2u);
    EXPECT_EQ(SendMessageA(control, WM_SETCURSOR, (WPARAM)control, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
}

TEST_F(HyperLinkTest, LinkTextIsBlueOnTheParentsBackground) {
    HWND control = CreateStatic(parent, 1, 10);
    HWND plain = CreateStatic(parent, 2, 40);
    CHyperLink link;
    ASSERT_TRUE(link.SetUrl("http://a.example/"));
    link.Attach(control);
    HDC dc = CreateCompatibleDC(NULL);
    SetTextColor(dc, RGB(1, 2, 3));
    LRESULT brush = SendMessageA(parent, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)plain);
    EXPECT_EQ(brush, (LRESULT)GetStockObject(GRAY_BRUSH));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
    brush = SendMessageA(parent, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)control);
    EXPECT_EQ(brush, (LRESULT)GetStockObject(GRAY_BRUSH));
    EXPECT_EQ(GetTextColor(dc), (COLORREF)0xFF0000);
    DeleteDC(dc);
}

TEST_F(HyperLinkTest, FocusFrameShowsWhileFocusedAcrossARepaintOfTheParentAndGoesWithTheFocus) {
    // The frame is drawn with XOR: a repaint of the parent (a dialog closed
    // over it) wipes it, and the next focus change would then draw it back
    // for good instead of removing it.
    SetClassLongPtrA(parent, GCLP_HBRBACKGROUND, (LONG_PTR)GetStockObject(WHITE_BRUSH));
    HWND control = CreateStatic(parent, 1, 10);
    HWND other = CreateStatic(parent, 2, 60);
    CHyperLink link;
    ASSERT_TRUE(link.SetUrl("http://a.example/"));
    link.Attach(control);
    ShowWindow(parent, SW_SHOWNORMAL);
    UpdateWindow(parent);
    auto framePixels = [&] {
        RECT frame;
        GetWindowRect(control, &frame);
        InflateRect(&frame, 1, 1);
        MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&frame), 2);
        HDC dc = GetDC(parent);
        int count = 0;
        for (int x = frame.left; x < frame.right; x++) count += GetPixel(dc, x, frame.top) != RGB(255, 255, 255);
        ReleaseDC(parent, dc);
        return count;
    };
    EXPECT_EQ(framePixels(), 0);
    SetFocus(control);
    EXPECT_GT(framePixels(), 0);
    RedrawWindow(parent, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_GT(framePixels(), 0);
    SetFocus(other);
    EXPECT_EQ(framePixels(), 0);
    SetClassLongPtrA(parent, GCLP_HBRBACKGROUND, 0);
}
