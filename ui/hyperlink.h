// A static text control turned into a web link by subclassing: blue underlined
// text, a hand cursor, a focus rectangle, and a click or the space key opens the
// address in the default browser.
//
// The control gets the link's window procedure and a window property that
// points back to the object; its parent gets a small procedure (installed once
// per parent, its previous procedure kept in the parent's property) that
// colours the link text. The underlined font and the cursor are shared by all
// links and live while at least one link control exists.
#pragma once

#include <windows.h>

class CHyperLink {
public:
    CHyperLink();
    virtual ~CHyperLink();
    // Called when the control gains focus or the pointer starts hovering.
    virtual void OnEnter();
    // Called when the control loses focus or hovering ends.
    virtual void OnLeave();

    // Keeps a copy of the address. The same address again changes nothing;
    // false only when the copy cannot be allocated (the link then has none).
    bool SetUrl(const char* url);
    // Subclasses a static control and its parent. Attaching a control that
    // already carries this link's procedure changes nothing.
    bool Attach(HWND control);

    const char* GetUrl() const { return url; }
    bool IsHovering() const { return hovering != 0; }

    // Opens the address with the shell's "open" verb; an empty address opens
    // nothing. Returns whether the shell accepted it.
    bool Open() const;

    // The property name's atom, the shared underlined font and the number of
    // link controls alive, for callers that check the shared state.
    static ATOM PropertyAtom();
    static HFONT UnderlinedFont();
    static LONG AttachCount();

private:
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    static LRESULT CALLBACK LinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Toggles the focus frame around a link; with a clip region, only there.
    static void DrawFocusFrame(HWND control, HRGN clip = NULL);

    char* url;
    BOOL hovering;
    HFONT controlFont;
    WNDPROC previousProc;
};

// How the shell opens an address; tests replace it to see what would open.
typedef bool (*UrlOpener)(const char* address);
void SetUrlOpener(UrlOpener opener);
// Opens an address with the current opener (the shell's "open" by default).
bool OpenUrl(const char* address);
