// The kinds of screen area of a themed article screen: the edge zone, the
// page, the scroll bar, the title bar, status bar and clock, the theme's
// buttons and the movie.
#ifndef MIRANDOL_AREAS_H
#define MIRANDOL_AREAS_H

#include "Area.h"
#include "Strings.h"
#include "System.h"

class Image;
class Link;
class ButtonDef;
struct AreaPlacement;

// The whole display; its margin of edge width pixels starts autoscrolling.
class AutoscrollArea : public Area {
public:
    enum { MODE_NONE = 0, MODE_LEFT = 1, MODE_RIGHT = 2, MODE_TOP = 3, MODE_BOTTOM = 4 };

    Image *upCursor, *downCursor, *leftCursor, *rightCursor; // not owned
    int32_t edgeWidth;
    int32_t mode = MODE_NONE;   // the last edge touched
    bool scrollOnHover;         // scroll while resting on an edge, not while held

    AutoscrollArea(Image *up, Image *down, Image *leftEdge, Image *rightEdge, int32_t edge,
                   bool onHover);
    bool mouseOver(int32_t x, int32_t y) override;
    bool mouseDown() override;
    void mouseUp() override;
    // Taken only on an edge, with that edge's pointer.
    bool showsPointer() const override { return true; }
};

// The article text; follows the link under the pointer.
class PageArea : public Area {
public:
    bool armed = false;
    Link *link = nullptr;       // under the pointer (not owned)
    int32_t pointerX = 0, pointerY = 0; // last pointer position, screen
    Image *normalCursor, *hoverCursor, *pressCursor; // not owned

    PageArea(int32_t x, int32_t y, int32_t width, int32_t height, Image *normal, Image *hover,
             Image *press);
    bool mouseOver(int32_t x, int32_t y) override;
    void mouseDrag(int32_t x, int32_t y) override;
    bool mouseDown() override;
    void mouseUp() override;
    void draw(bool standalone) override;
    // Taken only over a link, with the link pointer.
    bool showsPointer() const override { return true; }
};

// Thumb over a track: pictures (begin, stretched middle, end) or a fill.
class ScrollbarArea : public Area {
public:
    Image *hoverCursor, *pressCursor;        // not owned
    Image *beginImage, *middleImage, *endImage; // owned by the Article
    uint32_t colour;
    uint32_t max;       // scroll range
    uint32_t visible;   // the page's extent in the same unit
    uint32_t offset = 0; // thumb start, pixels from the track start
    uint32_t free = 0;   // track length less the thumb
    uint32_t thumb = 0;  // thumb length
    int32_t pointer = 0; // last pointer coordinate along the track
    int32_t grab = 0;    // pointer offset inside the thumb when a drag began
    bool horizontal;
    bool dragging = false;

    ScrollbarArea(const AreaPlacement &placement, Image *hover, Image *press, Image *begin,
                  Image *middle, Image *end, uint32_t thumbColour, uint32_t visibleExtent,
                  uint32_t maxPosition, uint32_t position, bool isHorizontal);
    void setPosition(int32_t position);
    bool mouseOver(int32_t x, int32_t y) override;
    void mouseDrag(int32_t x, int32_t y) override;
    bool mouseDown() override;
    void mouseUp() override;
    void draw(bool standalone) override;
    bool showsPointer() const override { return true; }

    uint32_t track() const { return (uint32_t)(horizontal ? width() : height()); }
    uint32_t lengthOf(const Image *image) const;
};

// One or two texts in a font style: the left and right title texts, or one
// centred text.
class TitlebarArea : public Area {
public:
    enum { TEXT_GAP = 8 }; // pixels kept between the two texts
    String text1;
    String text2;
    FontHandle font = nullptr;
    uint32_t colour = 0;
    // Rows from the text's top to its underline, as in articles (the last
    // row of the font's height); negative for a style without underline.
    int32_t underlineRow = -1;

    TitlebarArea(const AreaPlacement &placement, const char *first, const char *second);
    // Replaces the first text (empty also clears the status text); redraws
    // when it changed.
    void setText(const char *text);
    void draw(bool standalone) override;

private:
    // Draws one text with its top-left corner at x, top, underlined when
    // the style asks for it.
    void drawText(const char *text, int64_t x, uint32_t ink);
};

class StatusbarArea : public TitlebarArea {
public:
    explicit StatusbarArea(const AreaPlacement &placement) : TitlebarArea(placement, nullptr, nullptr) {}
};

// Hours and minutes since the start, as " h:mm".
class ClockArea : public TitlebarArea {
public:
    explicit ClockArea(const AreaPlacement &placement);
    // Sets the text from the ticks; true when it changed.
    bool update();
    void tick() override;
    // The clock text of a tick count (at least 16 bytes of room).
    static void format(uint32_t milliseconds, char *out, unsigned size);
};

class ButtonArea : public Area {
public:
    Image *normal = nullptr, *selected = nullptr, *pressed = nullptr; // one reference each
    Image *current = nullptr; // one of the three
    Image *frame = nullptr;   // frame of current shown
    Image *hoverCursor, *pressCursor; // not owned
    int32_t command;
    int32_t effect;
    int32_t song;
    int32_t frameIndex = 0;
    int32_t tickCount = 0;
    int32_t frameDelay = 0;
    String param;
    String desc;
    bool armed = false;
    SampleHandle downSound = nullptr, upSound = nullptr; // owned by their Files

    ButtonArea(const ButtonDef &def, Image *hover, Image *press);
    ~ButtonArea() override;
    // One ButtonArea per definition, appended to the chain at head.
    static void createAll(const ButtonDef *list, Area *&head, Image *hover, Image *press);

    void setImages(Image *picture);
    bool mouseOver(int32_t x, int32_t y) override;
    void mouseDrag(int32_t x, int32_t y) override;
    bool mouseDown() override;
    void mouseUp() override;
    void tick() override;
    void draw(bool standalone) override;
    // A button without a command shows no pointer of its own.
    bool showsPointer() const override { return command != 0; }
};

// A movie played by the platform (none on this one: it stays closed).
class MovieArea : public Area {
public:
    String name;
    MovieHandle movie = nullptr;
    bool play;

    MovieArea(const AreaPlacement &placement, const char *file, bool playFlag);
    ~MovieArea() override;
    int nextFrame() override;
    void stop() override;
    void start() override;
    void draw(bool standalone) override;

    // Milliseconds between frames of a rate; a rate of 0 or less plays 25 frames a second.
    static int frameInterval(int framesPerSecond);
};

#endif
