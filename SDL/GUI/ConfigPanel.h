// The configuration window shown before the reader starts: the program's
// options as check boxes, the mixing frequency, a music module to play, and
// the Start and Abort buttons. Its widgets write straight into SDLConfig.
#ifndef MIRANDOL_SDLGUI_CONFIG_PANEL_H
#define MIRANDOL_SDLGUI_CONFIG_PANEL_H

#include "GUI/GUI.h"

#include <functional>
#include <memory>
#include <vector>

class SDLConfig;

namespace SDLGUI {

// Stores a check box's state in one boolean of the configuration.
class BoolOption : public CheckboxListener {
public:
    explicit BoolOption(bool *option) : option(option) {}
    void action(bool state) override { *option = state; }

private:
    bool *option;   // not owned
};

// Sets the mixing frequency to the selected option's number. An option that
// is no usable frequency (empty, not a number, out of range) keeps the
// configured one.
class MixChange : public OptionListener {
public:
    explicit MixChange(SDLConfig *config) : config(config) {}
    void action(OptionBox *box) override;

private:
    SDLConfig *config;   // not owned
};

// A click (id 1) ends the window's loop and starts the reader.
class StartListener : public ButtonListener {
public:
    StartListener(bool *running, bool *start) : running(running), start(start) {}
    void action(int id) override;

private:
    bool *running, *start;   // the caller's
};

// A click (id 1) ends the window's loop without starting the reader.
class AbortListener : public ButtonListener {
public:
    AbortListener(bool *running, bool *start) : running(running), start(start) {}
    void action(int id) override;

private:
    bool *running, *start;   // the caller's
};

class ConfigPanel : public Panel {
public:
    enum { WIDTH = 250, HEIGHT = 207 };
    // WIDTH, or more when a label of the left or right column would not fit
    // half of it in the look's font.
    static int windowWidth();

    // Start and Abort set *running to false and *start to true or false.
    ConfigPanel(bool *running, bool *start, SDLConfig *config, int width, int height);
    ~ConfigPanel() override;

    // The module field's text (malloc'd), or null when it is empty.
    char *getModule() const;
    bool getFullscreen() const;
    bool getEffects() const;

    // Paints the panel on the screen and flips, then hands over one pending
    // event, if any; repeats until Start or Abort ends it, or until stop
    // (when given) says so.
    void run(SDL_Surface *screen, const std::function<bool()> &stop = nullptr);

private:
    template <class T> T *own(T *component)
    {
        components.emplace_back(component);
        return component;
    }

    bool *running;                     // the caller's
    Label *moduleLabel;
    Checkbox *fullscreen, *effects, *showConfig, *verbose, *music, *soundEffects;
    OptionBox *mixFrequency;
    Textfield *module;
    std::vector<std::unique_ptr<Component>> components;       // every widget above and the rest
    std::vector<std::unique_ptr<CheckboxListener>> options;
    std::unique_ptr<MixChange> mixChange;
    std::unique_ptr<StartListener> startListener;
    std::unique_ptr<AbortListener> abortListener;
};

} // namespace SDLGUI

#endif
