// The images of the job states, drawn in code with GDI: one 16x16 picture per
// state, each of its own shape and colour, so that they tell apart without
// colour too (a clock, a play arrow, a tick, a cross, a double arrow).
#include "jobs/row_state.h"

namespace {

// Drawn as the background and made transparent by the image list's mask.
constexpr COLORREF kMaskColour = RGB(255, 0, 255);
constexpr int kSize = 16;

// One line with the pen selected into dc.
void Line(HDC dc, int x0, int y0, int x1, int y1)
{
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

// Fills a polygon in one colour, outline included.
void Shape(HDC dc, const POINT* points, int count, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Polygon(dc, points, count);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

// Lines of the given width and colour, as pairs of points.
void Strokes(HDC dc, const POINT* ends, int pairs, int width, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    for (int i = 0; i < pairs; ++i)
        Line(dc, ends[2 * i].x, ends[2 * i].y, ends[2 * i + 1].x, ends[2 * i + 1].y);
    SelectObject(dc, old);
    DeleteObject(pen);
}

// Shapes within the 16x16 cell, left as the mask colour where nothing is
// drawn; None draws nothing, so a row without a state shows no picture.
void DrawState(HDC dc, RowState state)
{
    switch (state) {
    case RowState::None:
        break;
    case RowState::Waiting: {
        // A grey clock face with its two hands.
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(96, 96, 96));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Ellipse(dc, 1, 1, 15, 15);
        Line(dc, 8, 8, 8, 3);
        Line(dc, 8, 8, 11, 10);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
        break;
    }
    case RowState::Running: {
        const POINT play[] = {{4, 2}, {13, 8}, {4, 14}};
        Shape(dc, play, 3, RGB(0, 90, 200));
        break;
    }
    case RowState::Done: {
        const POINT tick[] = {{2, 8}, {6, 12}, {6, 12}, {14, 3}};
        Strokes(dc, tick, 2, 3, RGB(0, 140, 40));
        break;
    }
    case RowState::Failed: {
        const POINT cross[] = {{3, 3}, {13, 13}, {13, 3}, {3, 13}};
        Strokes(dc, cross, 2, 3, RGB(200, 20, 20));
        break;
    }
    case RowState::Skipped: {
        const POINT first[] = {{1, 3}, {7, 8}, {1, 13}};
        const POINT second[] = {{8, 3}, {14, 8}, {8, 13}};
        Shape(dc, first, 3, RGB(230, 140, 0));
        Shape(dc, second, 3, RGB(230, 140, 0));
        break;
    }
    }
}

} // namespace

// Drawn at run time into the screen's format, so that no resource is needed
// and the masks come out right at any colour depth.
HIMAGELIST CreateRowStateImages()
{
    HIMAGELIST images = ImageList_Create(kSize, kSize, ILC_COLOR24 | ILC_MASK, kRowStateCount, 0);
    if (images == nullptr)
        return nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    for (int i = 0; i < kRowStateCount; ++i) {
        HBITMAP picture = CreateCompatibleBitmap(screen, kSize, kSize);
        HGDIOBJ old = SelectObject(dc, picture);
        RECT all = {0, 0, kSize, kSize};
        HBRUSH background = CreateSolidBrush(kMaskColour);
        FillRect(dc, &all, background);
        DeleteObject(background);
        DrawState(dc, static_cast<RowState>(i));
        SelectObject(dc, old);
        ImageList_AddMasked(images, picture, kMaskColour);
        DeleteObject(picture);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return images;
}
