// Screen areas of an article view: a chain in drawing and pointer order, and
// the one pointer dispatcher that sends a press, its drags and its release to
// the area that took the pointer at the last motion.
#ifndef MIRANDOL_AREA_H
#define MIRANDOL_AREA_H

#include <stdint.h>

class Area {
public:
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = -1;        // inclusive
    int32_t bottom = -1;       // inclusive
    Area *next = nullptr;      // owned: the rest of the chain

    Area() {}
    Area(int32_t x, int32_t y, int32_t width, int32_t height)
        : left(x), top(y), right(x + width - 1), bottom(y + height - 1) {}
    // Deletes the rest of the chain; forgets the capture when it was this one.
    virtual ~Area();
    Area(const Area &) = delete;
    Area &operator=(const Area &) = delete;

    // Pointer over (x, y), screen coordinates; true takes the pointer.
    virtual bool mouseOver(int32_t x, int32_t y) { return contains(x, y); }
    virtual void mouseDrag(int32_t, int32_t) {}
    // A press on the captured area; true when taken.
    virtual bool mouseDown() { return false; }
    virtual void mouseUp() {}
    // Animation tick of the main loop.
    virtual void tick() {}
    // Next movie frame; non-zero when something was drawn.
    virtual int nextFrame() { return 0; }
    virtual void stop() {}
    virtual void start() {}
    // Standalone: brackets itself with begin/end_display and restores the
    // background first; otherwise paints inside the caller's redraw.
    virtual void draw(bool) {}
    // Whether taking the pointer shows a pointer of this area's own; over an
    // area that shows none the view shows the theme's normal pointer.
    virtual bool showsPointer() const { return false; }

    bool contains(int32_t x, int32_t y) const { return x >= left && x <= right && y >= top && y <= bottom; }
    int32_t width() const { return right - left + 1; }
    int32_t height() const { return bottom - top + 1; }

    // Copies the shown article's background over the rectangle.
    void restoreBackground(bool standalone);
    // Starts drawing: standalone, opens the display (false: draw nothing)
    // and restores the background. endDraw closes a standalone drawing.
    bool beginDraw(bool standalone);
    void endDraw(bool standalone);

    // Links area behind the last Area of the chain at head (null: nothing).
    static void append(Area *area, Area *&head);
    // Pointer messages 15 to 18; true when an area took the message.
    static bool dispatchMouse(Area *head, int message, int32_t x, int32_t y);
    // Forgets the captured area and the press (on every article change).
    static void releaseCapture();

    // Dispatcher state: the area under the pointer at the last motion (not
    // owned; cleared when that area goes) and whether it took a press.
    static Area *captured;
    static bool pressed;
    // Set while the last pointer position is passed through the areas
    // again after the view moved under a pointer that stayed put.
    static bool repassing;
};

#endif
