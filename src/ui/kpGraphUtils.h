// Drawing toolkit of the background window, the message window and the
// dialogs: colour resolution, the stepped gradient, transparent bitmaps, text
// measuring, wrapping and aligned drawing. Nothing here keeps state; every
// routine makes and frees its own GDI objects.
#pragma once

#include <windows.h>

#include <string>

#include "ui/GradientBands.h"
#include "ui/TextWrap.h"

namespace brik {

// A colour value of the settings: with the high bit set its low byte is a
// system colour index (GetSysColor); otherwise a colour 0x00BBGGRR, returned
// unchanged.
COLORREF ResolveColor(DWORD color);

// Fills rect with a stepped gradient between two colour values (resolved
// here) in one of the GradientDirection directions, with at most one band
// per pixel row (column). Fewer than 2 bands: a solid fill in the first
// colour. An empty rectangle draws nothing.
void FillGradient(HDC dc, const RECT& rect, DWORD first, DWORD second, int direction, int bands);

// Stretches the source part onto the destination, leaving the destination
// where the source has the transparent colour. Composes off screen: the
// destination is read once and written once. palette may be null.
void DrawBitmapTransparent(HDC dest, int x, int y, int destWidth, int destHeight, HDC src,
                           int srcX, int srcY, int srcWidth, int srcHeight,
                           COLORREF transparent, HPALETTE palette);

// Width and height of the text on one line in the context's font.
SIZE TextExtent(HDC dc, const std::string& text);
// The same in the window's own font (WM_GETFONT), measured in its context.
SIZE TextExtent(HWND wnd, const std::string& text);

// The text with CR LF inserted at blanks so that each line fits width pixels
// in the context's font; a word wider than that keeps a line of its own.
std::string WrapText(HDC dc, const std::string& text, int width);

// Draws the text wrapped to rect's width, aligned by the codes of
// VerticalAlign and HorizontalAlign, with a transparent or opaque background.
void DrawTextInRect(HDC dc, const std::string& text, RECT rect, bool transparent,
                    int vertical, int horizontal);

}  // namespace brik
