// Screen areas of an article view: a chain in drawing and pointer order.
#ifndef MIRANDOL_AREA_H
#define MIRANDOL_AREA_H

class Area {
public:
    Area *next = nullptr;

    virtual ~Area();
    // Animation tick of the main loop.
    virtual void tick() {}
    // Next movie frame; returns how many areas need a redraw.
    virtual int nextFrame() { return 0; }
    // Replaces the shown text (title and status bars).
    virtual void setText(const char *text) {}

    static void append(Area *area, Area *&head);
};

#endif
