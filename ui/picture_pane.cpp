// Picture panes: JPEG resources decoded with OleLoadPicture and rendered with
// IPicture::Render. The size comes from the picture in HIMETRIC (0.01 mm) and
// is converted once to pixels of the window's screen, so painting needs no
// decoding and no conversion.
#include "ui/picture_pane.h"

#include <cstring>
#include <new>

#include "common/owned_handle.h"

PictureList g_pictureList = {NULL, 0};

namespace {

const LONG kPictureTop = 10;
const LONG kHimetricPerInch = 2540;

// Decodes the bytes with the system picture loader; NULL when they are no
// picture it knows.
IPicture* DecodePicture(const void* bytes, DWORD size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == NULL) return NULL;
    void* target = GlobalLock(block);
    if (target == NULL) {
        GlobalFree(block);
        return NULL;
    }
    memcpy(target, bytes, size);
    GlobalUnlock(block);

    IStream* stream = NULL;
    // The stream frees the block when it is released.
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || stream == NULL) {
        GlobalFree(block);
        return NULL;
    }
    IPicture* picture = NULL;
    HRESULT result = OleLoadPicture(stream, (LONG)size, FALSE, IID_IPicture,
                                    reinterpret_cast<void**>(&picture));
    stream->Release();
    if (FAILED(result)) return NULL;
    return picture;
}

}  // namespace

bool LoadPicture(HWND window, WORD resourceId, int x) {
    return LoadPictureFrom(GetModuleHandleA(NULL), window, resourceId, x);
}

bool LoadPictureFrom(HMODULE module, HWND window, WORD resourceId, int x) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resourceId), "JPG");
    if (resource == NULL) return false;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded != NULL ? LockResource(loaded) : NULL;
    if (bytes == NULL || size == 0) return false;

    IPicture* picture = DecodePicture(bytes, size);
    if (picture == NULL) return false;

    PictureEntry* entry = new (std::nothrow) PictureEntry();
    if (entry == NULL) {
        picture->Release();
        return false;
    }
    entry->picture = picture;
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    entry->widthHimetric = width;
    entry->heightHimetric = height;

    HDC dc = GetDC(window);
    int dpiX = dc != NULL ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    int dpiY = dc != NULL ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    entry->widthPx = MulDiv(width, dpiX, kHimetricPerInch);
    entry->heightPx = MulDiv(height, dpiY, kHimetricPerInch);
    entry->x = x;
    entry->y = kPictureTop;
    entry->window = window;

    entry->previous = NULL;
    entry->next = g_pictureList.head;
    if (g_pictureList.head != NULL) g_pictureList.head->previous = entry;
    g_pictureList.head = entry;
    g_pictureList.count++;

    if (dc != NULL) {
        PaintPictures(window, dc);
        ReleaseDC(window, dc);
    }
    return true;
}

void PaintPictures(HWND window, HDC dc) {
    for (PictureEntry* entry = g_pictureList.head; entry != NULL; entry = entry->next) {
        if (entry->window != window) continue;
        // HIMETRIC runs upward: start at the bottom with a negative height so
        // the picture comes out upright.
        entry->picture->Render(dc, entry->x, entry->y + entry->heightPx, entry->widthPx,
                               -entry->heightPx, 0, 0, entry->widthHimetric,
                               entry->heightHimetric, NULL);
    }
}

void ReleasePictures(HWND window) {
    PictureEntry* entry = g_pictureList.head;
    int remaining = g_pictureList.count;
    while (entry != NULL && remaining-- > 0) {
        PictureEntry* next = entry->next;
        if (entry->window == window) {
            if (entry->previous != NULL) entry->previous->next = entry->next;
            else g_pictureList.head = entry->next;
            if (entry->next != NULL) entry->next->previous = entry->previous;
            entry->picture->Release();
            delete entry;
            g_pictureList.count--;
        }
        entry = next;
    }
}

int CountPictures(HWND window) {
    int count = 0;
    for (PictureEntry* entry = g_pictureList.head; entry != NULL; entry = entry->next)
        if (entry->window == window) count++;
    return count;
}
