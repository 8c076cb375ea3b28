#include "ui/kpGraphUtils.h"

namespace brik {

COLORREF ResolveColor(DWORD color) {
    if (color & 0x80000000u) return GetSysColor(static_cast<int>(color & 0xFF));
    return color;
}

void FillGradient(HDC dc, const RECT& rect, DWORD first, DWORD second, int direction, int bands) {
    if (IsRectEmpty(&rect)) return;
    const bool vertical = GradientIsVertical(direction);
    const int start = vertical ? rect.top : rect.left;
    const int length = vertical ? rect.bottom - rect.top : rect.right - rect.left;
    for (const GradientBand& band :
         GradientBands(start, length, ResolveColor(first), ResolveColor(second), direction, bands)) {
        RECT r = rect;
        if (bands < 2) {
            // A solid fill covers exactly the rectangle.
        } else if (vertical) {
            r.top = band.from;
            r.bottom = band.to;
        } else {
            r.left = band.from;
            r.right = band.to;
        }
        HBRUSH brush = CreateSolidBrush(band.color);
        if (!brush) continue;
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
}

namespace {

// A memory context compatible with dc holding a bitmap; both freed together.
class WorkBitmap {
public:
    WorkBitmap(HDC compatible, int width, int height, bool monochrome, HPALETTE palette)
        : dc_(CreateCompatibleDC(compatible)) {
        if (!dc_) return;
        bitmap_ = monochrome ? CreateBitmap(width, height, 1, 1, nullptr)
                             : CreateCompatibleBitmap(compatible, width, height);
        if (bitmap_) old_ = static_cast<HBITMAP>(SelectObject(dc_, bitmap_));
        if (palette) {
            oldPalette_ = SelectPalette(dc_, palette, FALSE);
            RealizePalette(dc_);
        }
    }
    ~WorkBitmap() {
        if (!dc_) return;
        if (oldPalette_) SelectPalette(dc_, oldPalette_, FALSE);
        if (old_) SelectObject(dc_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    WorkBitmap(const WorkBitmap&) = delete;
    WorkBitmap& operator=(const WorkBitmap&) = delete;

    bool Ok() const { return dc_ && bitmap_; }
    HDC Dc() const { return dc_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HBITMAP old_ = nullptr;
    HPALETTE oldPalette_ = nullptr;
};

}  // namespace

void DrawBitmapTransparent(HDC dest, int x, int y, int destWidth, int destHeight, HDC src,
                           int srcX, int srcY, int srcWidth, int srcHeight,
                           COLORREF transparent, HPALETTE palette) {
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return;

    HPALETTE oldDestPalette = nullptr;
    if (palette) {
        oldDestPalette = SelectPalette(dest, palette, TRUE);
        RealizePalette(dest);
    }
    const int mapMode = GetMapMode(dest);
    const int oldSrcMapMode = SetMapMode(src, mapMode);
    {
        WorkBitmap copy(dest, srcWidth, srcHeight, false, palette);
        WorkBitmap mask(dest, srcWidth, srcHeight, true, palette);
        WorkBitmap inverse(dest, srcWidth, srcHeight, true, palette);
        WorkBitmap back(dest, destWidth, destHeight, false, palette);
        if (copy.Ok() && mask.Ok() && inverse.Ok() && back.Ok()) {
            SetMapMode(copy.Dc(), mapMode);
            BitBlt(copy.Dc(), 0, 0, srcWidth, srcHeight, src, srcX, srcY, SRCCOPY);

            // Colour to monochrome: pixels of the background colour turn white.
            SetBkColor(copy.Dc(), transparent);
            BitBlt(mask.Dc(), 0, 0, srcWidth, srcHeight, copy.Dc(), 0, 0, SRCCOPY);
            BitBlt(inverse.Dc(), 0, 0, srcWidth, srcHeight, mask.Dc(), 0, 0, NOTSRCCOPY);

            // Monochrome to colour maps white to the background colour and
            // black to the text colour: keep them white and black.
            SetBkColor(back.Dc(), RGB(255, 255, 255));
            SetTextColor(back.Dc(), RGB(0, 0, 0));
            SetBkColor(copy.Dc(), RGB(255, 255, 255));
            SetTextColor(copy.Dc(), RGB(0, 0, 0));
            // Mask and picture must shrink alike.
            SetStretchBltMode(back.Dc(), COLORONCOLOR);

            BitBlt(back.Dc(), 0, 0, destWidth, destHeight, dest, x, y, SRCCOPY);
            StretchBlt(back.Dc(), 0, 0, destWidth, destHeight, mask.Dc(), 0, 0, srcWidth,
                       srcHeight, SRCAND);
            BitBlt(copy.Dc(), 0, 0, srcWidth, srcHeight, inverse.Dc(), 0, 0, SRCAND);
            StretchBlt(back.Dc(), 0, 0, destWidth, destHeight, copy.Dc(), 0, 0, srcWidth,
                       srcHeight, SRCPAINT);
            BitBlt(dest, x, y, destWidth, destHeight, back.Dc(), 0, 0, SRCCOPY);
        }
    }
    if (oldSrcMapMode) SetMapMode(src, oldSrcMapMode);
    if (oldDestPalette) SelectPalette(dest, oldDestPalette, TRUE);
}

SIZE TextExtent(HDC dc, const std::string& text) {
    SIZE size{0, 0};
    if (!GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size)) {
        size.cx = 0;
        size.cy = 0;
    }
    return size;
}

SIZE TextExtent(HWND wnd, const std::string& text) {
    SIZE size{0, 0};
    HDC dc = GetDC(wnd);
    if (!dc) return size;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(wnd, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    size = TextExtent(dc, text);
    if (old) SelectObject(dc, old);
    ReleaseDC(wnd, dc);
    return size;
}

std::string WrapText(HDC dc, const std::string& text, int width) {
    return WrapText(text, width, [dc](std::string_view line) {
        return static_cast<int>(TextExtent(dc, std::string(line)).cx);
    });
}

void DrawTextInRect(HDC dc, const std::string& text, RECT rect, bool transparent, int vertical,
                    int horizontal) {
    std::string wrapped = WrapText(dc, text, rect.right - rect.left);
    const int lineHeight = TextExtent(dc, wrapped).cy;
    const VerticalSpan span = AlignTextVertically(rect.top, rect.bottom, lineHeight,
                                                  CountTextLines(wrapped), vertical);
    rect.top = span.top;
    rect.bottom = span.bottom;
    SetBkMode(dc, transparent ? TRANSPARENT : OPAQUE);
    UINT format = DT_LEFT;
    if (horizontal == kAlignRight) format = DT_RIGHT;
    else if (horizontal == kAlignCenter) format = DT_CENTER;
    DrawTextA(dc, wrapped.c_str(), static_cast<int>(wrapped.size()), &rect, format);
}

}  // namespace brik
