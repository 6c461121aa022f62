// SDLGUI: the small retained-mode widget toolkit of the configuration window
// and the search dialog, drawn on SDL 1.2 surfaces with the program's own
// FreeType fonts.
//
// Widgets are Components arranged in Panels by layout managers. Positions
// are relative to the parent panel; paint and handleEvent receive the
// parent's absolute offset. All drawing goes through one shared look
// (getLook). The toolkit has no event loop: its owner polls SDL events,
// hands each to the top panel's handleEvent and repaints the top panel on
// every pass. Panels do not own their children; widgets live as long as
// their window. Main thread only.
#ifndef MIRANDOL_SDLGUI_H
#define MIRANDOL_SDLGUI_H

#include <SDL/SDL.h>

#include <string>

class FontMapping;
class SDLFont;
struct MapArray;
struct Vector;

namespace SDLGUI {

class Panel;
class Textfield;
class List;
class OptionBox;
class Label;
class Checkbox;

// ---------------------------------------------------------------- listeners

class ButtonListener {
public:
    virtual ~ButtonListener() {}
    // id 0: the button was pressed; id 1: a click ended on it.
    virtual void action(int id) = 0;
};

class CheckboxListener {
public:
    virtual ~CheckboxListener() {}
    virtual void action(bool state) = 0;
};

class OptionListener {
public:
    virtual ~OptionListener() {}
    virtual void action(OptionBox *box) = 0;
};

class ListListener {
public:
    virtual ~ListListener() {}
    virtual void action(List *list) = 0;
};

// --------------------------------------------------------------- components

class Component {
public:
    Component();
    virtual ~Component() {}

    // Draws the component at (x + bounds.x, y + bounds.y), clipped to it.
    virtual void paint(SDL_Surface *surface, int x, int y) = 0;
    virtual void doLayout();
    // Stores the bounds (negative sizes become 0) and lays out again.
    virtual void setBounds(int x, int y, int width, int height);
    virtual void getBounds(SDL_Rect *rect);
    virtual void preferredSize(SDL_Rect *rect);
    // Whether the event was used.
    virtual bool handleEvent(const SDL_Event *event, int x, int y);
    // The component's own font, else the look's (null when there is none).
    virtual SDLFont *getFont();
    virtual void setFont(SDLFont *font);

    // The bounds on the surface for the parent's offset (x, y).
    SDL_Rect area(int x, int y) const;

protected:
    // Width = text width + 10, height = line height + 6.
    void textSize(const char *text, SDL_Rect *rect);

    SDLFont *font;     // not owned; null: the look's
    SDL_Rect bounds;   // relative to the parent
};

class LayoutManager {
public:
    virtual ~LayoutManager() {}
    virtual void layout(Panel *panel) = 0;
    virtual void preferredSize(Panel *panel, SDL_Rect *rect) = 0;
};

class Panel : public Component {
public:
    Panel();
    ~Panel() override;
    // The panel owns its layout manager.
    void setLayout(LayoutManager *_layoutManager);
    void add(Component *child);
    void addWithConstraint(Component *child, int constraint);

    int childCount() const;
    Component *childAt(int index) const;
    int constraintAt(int index) const;

    void paint(SDL_Surface *surface, int x, int y) override;
    void doLayout() override;
    void preferredSize(SDL_Rect *rect) override;
    // Every child sees every event.
    bool handleEvent(const SDL_Event *event, int x, int y) override;

private:
    Vector *children;                // Component pointers, not owned
    Vector *constraints;             // one int per child
    LayoutManager *layoutManager;    // owned
};

// Constraints 0 east, 1 west, 2 north, 3 south, 4 centre; of two children
// with the same constraint the later one is laid out.
class BorderLayout : public LayoutManager {
public:
    enum { EAST = 0, WEST = 1, NORTH = 2, SOUTH = 3, CENTER = 4 };
    BorderLayout() {}
    void layout(Panel *panel) override;
    void preferredSize(Panel *panel, SDL_Rect *rect) override;
};

// A grid of equal cells filled row by row.
class BoxLayout : public LayoutManager {
public:
    BoxLayout(int rows, int columns);
    void layout(Panel *panel) override;
    void preferredSize(Panel *panel, SDL_Rect *rect) override;

private:
    int rows, columns;   // each at least 1
};

// ------------------------------------------------------------------ widgets

class Button : public Component {
public:
    explicit Button(const char *text);
    void setListener(ButtonListener *listener) { this->listener = listener; }
    bool isPressed() const { return pressed; }
    const char *getText() const { return text.c_str(); }

    void paint(SDL_Surface *surface, int x, int y) override;
    void preferredSize(SDL_Rect *rect) override;
    // A click needs both the press and the release inside, by the
    // positions the events carry.
    bool handleEvent(const SDL_Event *event, int x, int y) override;

private:
    std::string text;
    ButtonListener *listener;   // not owned
    bool pressed;
};

class Checkbox : public Component {
public:
    Checkbox(const char *text, bool on);
    void setListener(CheckboxListener *listener) { this->listener = listener; }
    bool isChecked() const { return on; }
    const char *getText() const { return text.c_str(); }

    void paint(SDL_Surface *surface, int x, int y) override;
    void preferredSize(SDL_Rect *rect) override;
    bool handleEvent(const SDL_Event *event, int x, int y) override;

private:
    bool on;
    std::string text;
    CheckboxListener *listener;   // not owned
    SDL_Rect tickBox;             // last computed, absolute
};

class Label : public Component {
public:
    enum { LEFT = 0, RIGHT = 1, CENTRE = 2 };
    Label(const char *text, int alignment);
    const char *getText() const { return text.c_str(); }
    void setText(const char *text) { this->text = text ? text : ""; }
    int getAlignment() const { return alignment; }

    void paint(SDL_Surface *surface, int x, int y) override;
    void preferredSize(SDL_Rect *rect) override;

private:
    std::string text;
    int alignment;
};

// Shows the caller's strings (each up to its first NUL); the items vector
// and its strings stay the caller's and may change between passes.
class List : public Component {
public:
    explicit List(Vector *items);
    void setListener(ListListener *listener) { this->listener = listener; }
    // The selected string, or null when the selection is outside the items.
    const char *getSelectedItem() const;
    int getSelection() const { return selection; }
    int getFirstRow() const { return firstRow; }
    int itemCount() const;
    bool hasFocus() const { return focus; }
    // First row 0, no selection.
    void clear();

    void paint(SDL_Surface *surface, int x, int y) override;
    bool handleEvent(const SDL_Event *event, int x, int y) override;

private:
    friend class BasicLook;
    void scrollTo(int row);
    void notify();

    Vector *items;          // not owned
    int selection;          // -1 none
    int firstRow;           // first visible row, 0 .. count - 1 (0 when empty)
    float scrollPosition;   // rows, while dragging the thumb
    bool focus;
    bool dragging;
    float dragRatio;        // rows per pixel of the scroll strip
    int lastY;
    ListListener *listener; // not owned
};

class OptionBox : public Component {
public:
    // The first option equal to selectedText is selected, else the first.
    OptionBox(Vector *options, const char *selectedText);
    void setListener(OptionListener *listener) { this->listener = listener; }
    // The selected option's text (null when there are no options).
    const char *getSelectedOption() const;
    int getSelectedIndex() const { return selected; }

    void paint(SDL_Surface *surface, int x, int y) override;
    bool handleEvent(const SDL_Event *event, int x, int y) override;

private:
    Vector *options;            // strings, not owned
    int selected;
    OptionListener *listener;   // not owned
};

class Textfield : public Component {
public:
    explicit Textfield(const char *text);
    // A malloc'd copy of the text.
    char *getText() const;
    const std::string &text() const { return chars; }
    // Replaces the text; cursor and first visible character go to 0.
    void setText(const char *text);
    unsigned getCursor() const { return cursor; }
    unsigned getFirstVisible() const { return firstVisible; }
    bool hasFocus() const { return focus; }
    void setFocus(bool focus) { this->focus = focus; }

    void paint(SDL_Surface *surface, int x, int y) override;
    void preferredSize(SDL_Rect *rect) override;
    bool handleEvent(const SDL_Event *event, int x, int y) override;

    // Scrolls so that the caret, and as much of the text before it as fits
    // (at least a third of the room when there is that much), is in sight
    // within room pixels; the text fills the room when it can.
    void showCaret(SDLFont *font, int room);

private:
    friend class BasicLook;
    bool editKey(const SDL_keysym &key);
    int widthBetween(SDLFont *font, unsigned from, unsigned to) const;
    unsigned firstFitting(SDLFont *font, unsigned from, unsigned to, unsigned end, int limit) const;

    unsigned firstVisible;
    std::string chars;
    unsigned cursor;   // 0 .. length
    bool focus;
};

// --------------------------------------------------------------------- look

class Look {
public:
    virtual ~Look() {}
    virtual void frame(SDL_Surface *surface, const SDL_Rect &rect) = 0;
    virtual void fill(SDL_Surface *surface, const SDL_Rect &rect, bool pressed) = 0;
    virtual void background(SDL_Surface *surface, const SDL_Rect &rect) = 0;
    virtual void textField(SDL_Surface *surface, const SDL_Rect &rect, Textfield *field) = 0;
    virtual void list(SDL_Surface *surface, const SDL_Rect &rect, List *list) = 0;
    virtual void optionBox(SDL_Surface *surface, const SDL_Rect &rect, OptionBox *box) = 0;
    virtual void label(SDL_Surface *surface, const SDL_Rect &rect, Label *label) = 0;
    virtual void checkBox(SDL_Surface *surface, const SDL_Rect &rect, Checkbox *box) = 0;
    virtual void tickBox(const SDL_Rect &rect, SDL_Rect *box) = 0;
    virtual int visibleRows(const SDL_Rect &rect) = 0;
    // The row under y (may be past the items; -1 above the first).
    virtual int rowAt(List *list, const SDL_Rect &rect, int y) = 0;
    // At least 1; also the width of a list's scroll strip.
    virtual int lineHeight() = 0;
    virtual float rowsPerPixel(List *list, const SDL_Rect &rect) = 0;
    virtual bool thumbHit(List *list, const SDL_Rect &rect, int x, int y) = 0;
    virtual void scrollStrip(const SDL_Rect &rect, SDL_Rect *strip) = 0;
    virtual SDLFont *getFont() = 0;
};

class BasicLook : public Look {
public:
    BasicLook();
    void setFontMap(MapArray *map, const FontMapping *files = nullptr);
    MapArray *getFontMap() const { return fontMap; }

    void frame(SDL_Surface *surface, const SDL_Rect &rect) override;
    void fill(SDL_Surface *surface, const SDL_Rect &rect, bool pressed) override;
    void background(SDL_Surface *surface, const SDL_Rect &rect) override;
    void textField(SDL_Surface *surface, const SDL_Rect &rect, Textfield *field) override;
    void list(SDL_Surface *surface, const SDL_Rect &rect, List *list) override;
    void optionBox(SDL_Surface *surface, const SDL_Rect &rect, OptionBox *box) override;
    void label(SDL_Surface *surface, const SDL_Rect &rect, Label *label) override;
    void checkBox(SDL_Surface *surface, const SDL_Rect &rect, Checkbox *box) override;
    void tickBox(const SDL_Rect &rect, SDL_Rect *box) override;
    int visibleRows(const SDL_Rect &rect) override;
    int rowAt(List *list, const SDL_Rect &rect, int y) override;
    int lineHeight() override;
    float rowsPerPixel(List *list, const SDL_Rect &rect) override;
    bool thumbHit(List *list, const SDL_Rect &rect, int x, int y) override;
    void scrollStrip(const SDL_Rect &rect, SDL_Rect *strip) override;
    // Opened on first use from the map's "default:0" at height 16.
    SDLFont *getFont() override;

private:
    void mapColours(SDL_Surface *surface);
    void thumb(List *list, const SDL_Rect &rect, SDL_Rect *thumb);
    void text(SDL_Surface *surface, SDLFont *font, const char *text, int length, int x, int y);

    MapArray *fontMap;   // not owned
    const FontMapping *fontFiles;   // not owned; the fonts kept in memory, or null
    SDLFont *font;       // owned; lives until the program ends
    bool fontTried;
    // Colours of the surface format they were mapped for.
    Uint32 formatMasks[3];
    Uint8 formatBits;
    Uint32 backgroundColour, dark, dark2, light, face;
};

// The font map the look takes its font from; set before anything is painted.
// The mapping, when given, supplies the fonts it keeps in memory.
void setFontMap(MapArray *map, const FontMapping *files = nullptr);
// The look stops reading a map that is about to be deleted.
void forgetFontMap(MapArray *map);
// The one shared look.
Look *getLook();

// Lines of 32-bit pixels written straight into the surface, clipped to its
// clip rectangle; surfaces of other depths are left alone.
void drawHLine(SDL_Surface *surface, int x, int y, int length, Uint8 red, Uint8 green,
               Uint8 blue);
void drawVLine(SDL_Surface *surface, int x, int y, int length, Uint8 red, Uint8 green,
               Uint8 blue);

// Text helpers of the look: width of text[0 .. length - 1] (0 without a
// usable font) and the font's line height (at least 1).
int textWidth(SDLFont *font, const char *text, int length);
int lineHeightOf(SDLFont *font);
// Pixels between a check box's tick box and its text.
const int kCheckboxTextGap = 6;
// Pixels between a text field's edge and its text.
const int kTextfieldInset = 2;
// Draws text[0 .. length - 1] in black with its top at y; nothing without a
// usable font.
void drawText(SDL_Surface *surface, SDLFont *font, const char *text, int length, int x, int y);

// Whether (x, y) lies inside the rectangle.
bool inside(const SDL_Rect &rect, int x, int y);

// Saves the surface's clip rectangle, clips to a rectangle, restores on exit.
class ClipScope {
public:
    ClipScope(SDL_Surface *surface, const SDL_Rect &rect);
    ~ClipScope();

private:
    SDL_Surface *surface;
    SDL_Rect saved;
};

} // namespace SDLGUI

#endif
