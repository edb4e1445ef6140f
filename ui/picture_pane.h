// JPEG pictures from the program's resources (type "JPG"), decoded once by
// the system picture loader and painted at their natural size into the window
// they belong to. One process-wide list holds the pictures of every window;
// each window releases its own. User-interface thread only.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <olectl.h>

struct PictureEntry {
    IPicture* picture;  // one reference, owned
    LONG widthPx;
    LONG heightPx;
    LONG x;
    LONG y;             // always 10
    HWND window;
    LONG widthHimetric;
    LONG heightHimetric;
    PictureEntry* next;
    PictureEntry* previous;
};

struct PictureList {
    PictureEntry* head;  // newest first
    int count;
};

extern PictureList g_pictureList;

// Loads JPG resource resourceId of the program's module for the window at
// (x, 10) and paints the window's pictures at once. A missing resource or an
// image that does not decode adds nothing; returns whether one was added.
bool LoadPicture(HWND window, WORD resourceId, int x);
// Same, from a given module (tests load from their own executable).
bool LoadPictureFrom(HMODULE module, HWND window, WORD resourceId, int x);
// Paints every picture of the window into the device context.
void PaintPictures(HWND window, HDC dc);
// Removes and releases every picture of the window; others stay.
void ReleasePictures(HWND window);
// Number of pictures the window holds.
int CountPictures(HWND window);
