// Picture panes on real windows of the test process, with JPEG resources
// linked into the test program: loading, sizes, painting upright at the
// natural size, and releasing per window.
#include <gtest/gtest.h>
#include <windows.h>

#include "ui/picture_pane.h"

namespace {

const WORD kLeftPicture = 168;   // 134 x 432 pixels, dark at the top
const WORD kTopPicture = 175;    // 447 x 72 pixels
const WORD kBrokenPicture = 900; // bytes that are no image
const WORD kMissingPicture = 901;

HWND CreatePane() {
    return CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 640, 480, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

// A white 640 x 480 canvas to paint into, with direct access to its pixels.
struct Canvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    DWORD* pixels = NULL;
    Canvas() {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 640;
        info.bmiHeader.biHeight = -480;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void**)&pixels, NULL, 0);
        old = SelectObject(dc, bitmap);
        for (int i = 0; i < 640 * 480; i++) pixels[i] = 0xFFFFFF;
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    DWORD At(int x, int y) const {
        GdiFlush();
        return pixels[y * 640 + x] & 0xFFFFFF;
    }
    int Brightness(int x, int y) const {
        DWORD p = At(x, y);
        return (int)((p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF));
    }
    // White pixels outside the rectangle [left, right) x [top, bottom).
    int WhiteOutside(int left, int top, int right, int bottom) const {
        GdiFlush();
        int count = 0;
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                if (x < left || x >= right || y < top || y >= bottom) count += (pixels[y * 640 + x] & 0xFFFFFF) == 0xFFFFFF;
        return count;
    }
    int WhiteCount() const {
        GdiFlush();
        int count = 0;
        for (int i = 0; i < 640 * 480; i++) count += (pixels[i] & 0xFFFFFF) == 0xFFFFFF;
        return count;
    }
};

class PicturePaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(NULL);
        pane = CreatePane();
        other = CreatePane();
        module = GetModuleHandleA(NULL);
    }
    void TearDown() override {
        ReleasePictures(pane);
        ReleasePictures(other);
        EXPECT_EQ(g_pictureList.count, 0);
        EXPECT_EQ(g_pictureList.head, nullptr);
        DestroyWindow(pane);
        DestroyWindow(other);
        CoUninitialize();
    }
    HWND pane = NULL;
    HWND other = NULL;
    HMODULE module = NULL;
};

// The list must read the same forwards and backwards.
void ExpectListConsistent() {
    int count = 0;
    const PictureEntry* last = NULL;
    for (const PictureEntry* entry = g_pictureList.head; entry != NULL; entry = entry->next) {
        EXPECT_EQ(entry->previous, last);
        last = entry;
        count++;
    }
    EXPECT_EQ(count, g_pictureList.count);
}

}  // namespace

TEST_F(PicturePaneTest, LoadsAtNaturalPixelSizeAtTheGivenPlace) {
    ASSERT_TRUE(LoadPictureFrom(module, pane, kLeftPicture, 10));
    ASSERT_TRUE(LoadPictureFrom(module, pane, kTopPicture, 160));
    ASSERT_EQ(g_pictureList.count, 2);
    const PictureEntry* top = g_pictureList.head;  // newest first
    const PictureEntry* left = top->next;
    HDC screen = GetDC(NULL);
    int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    EXPECT_EQ(left->widthPx, MulDiv(left->widthHimetric, dpiX, 2540));
    EXPECT_EQ(left->heightPx, MulDiv(left->heightHimetric, dpiY, 2540));
    if (dpiX == 96 && dpiY == 96) {
        EXPECT_EQ(left->widthPx, 134);
        EXPECT_EQ(left->heightPx, 432);
        EXPECT_EQ(top->widthPx, 447);
        EXPECT_EQ(top->heightPx, 72);
    }
    EXPECT_EQ(left->x, 10);
    EXPECT_EQ(left->y, 10);
    EXPECT_EQ(top->x, 160);
    EXPECT_EQ(top->y, 10);
    EXPECT_EQ(left->window, pane);
    ExpectListConsistent();
}

TEST_F(PicturePaneTest, MissingOrUndecodableResourcesAddNothing) {
    EXPECT_FALSE(LoadPictureFrom(module, pane, kMissingPicture, 10));
    EXPECT_FALSE(LoadPictureFrom(module, pane, kBrokenPicture, 10));
    EXPECT_EQ(g_pictureList.count, 0);
    EXPECT_EQ(CountPictures(pane), 0);
}

TEST_F(PicturePaneTest, ReloadingAGameKeepsTwoEntriesAndOtherWindowsKeepTheirs) {
    ASSERT_TRUE(LoadPictureFrom(module, other, kTopPicture, 0));
    for (int round = 0; round < 3; round++) {
        ReleasePictures(pane);
        ASSERT_TRUE(LoadPictureFrom(module, pane, kLeftPicture, 10));
        ASSERT_TRUE(LoadPictureFrom(module, pane, kTopPicture, 160));
        EXPECT_EQ(CountPictures(pane), 2);
        EXPECT_EQ(CountPictures(other), 1);
        ExpectListConsistent();
    }
    // Releasing the window whose entries sit at the head and at the tail.
    ReleasePictures(pane);
    EXPECT_EQ(g_pictureList.count, 1);
    EXPECT_EQ(g_pictureList.head->window, other);
    ExpectListConsistent();
    ReleasePictures(other);
    EXPECT_EQ(g_pictureList.head, nullptr);
}

TEST_F(PicturePaneTest, PaintsUprightWithinItsRectangleOnly) {
    ASSERT_TRUE(LoadPictureFrom(module, pane, kLeftPicture, 10));
    const PictureEntry* left = g_pictureList.head;
    Canvas canvas;
    PaintPictures(other, canvas.dc);
    EXPECT_EQ(canvas.WhiteCount(), 640 * 480);  // a window without pictures draws nothing

    PaintPictures(pane, canvas.dc);
    int right = 10 + left->widthPx, bottom = 10 + left->heightPx;
    // Outside the picture's rectangle the canvas stays white.
    EXPECT_EQ(canvas.At(5, 5), 0xFFFFFFu);
    EXPECT_EQ(canvas.At(right + 2, 100), 0xFFFFFFu);
    EXPECT_EQ(canvas.At(50, bottom + 2), 0xFFFFFFu);
    EXPECT_EQ(canvas.WhiteOutside(10, 10, right, bottom), 640 * 480 - left->widthPx * left->heightPx);
    // The artwork's sky darkens towards the top: drawn upside down, the top
    // would be the light end.
    int topRow = 0, bottomRow = 0;
    for (int x = 20; x < right - 10; x++) {
        topRow += canvas.Brightness(x, 16);
        bottomRow += canvas.Brightness(x, bottom - 6);
    }
    EXPECT_LT(topRow, bottomRow);
}
