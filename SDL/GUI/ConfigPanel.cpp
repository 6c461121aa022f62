#include "GUI/ConfigPanel.h"

#include "SDLConfig.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace SDLGUI {

void MixChange::action(OptionBox *box)
{
    const char *text = box ? box->getSelectedOption() : nullptr;
    if (!text)
        return;
    char *end = nullptr;
    errno = 0;
    long frequency = strtol(text, &end, 10);
    if (end == text || errno != 0 || !SDLConfig::validMixingFrequency(frequency))
        return;
    config->setMixingFrequency((int)frequency);
}

void StartListener::action(int id)
{
    if (id != 1)
        return;
    *running = false;
    *start = true;
}

void AbortListener::action(int id)
{
    if (id != 1)
        return;
    *running = false;
    *start = false;
}

namespace {
const char *const kBoxTexts[6] = {"Fullscreen", "Effects", "Show config GUI", "Verbose", "Music", "Sound Effects"};
const char *const kLabelTexts[2] = {"Mix frequency:", "Module:"};
// Room kept right of the widest text in its cell.
const int kTextMargin = 4;
}

int ConfigPanel::windowWidth()
{
    Look *look = getLook();
    SDLFont *font = look->getFont();
    SDL_Rect cell = {0, 0, WIDTH / 2, 25}, tick;
    look->tickBox(cell, &tick);
    int column = 0;
    for (const char *t : kBoxTexts) {
        int need = tick.x + tick.w + kCheckboxTextGap + textWidth(font, t, (int)strlen(t)) + kTextMargin;
        column = need > column ? need : column;
    }
    for (const char *t : kLabelTexts) {
        int need = textWidth(font, t, (int)strlen(t)) + kTextMargin;
        column = need > column ? need : column;
    }
    return 2 * column > WIDTH ? 2 * column : WIDTH;
}

ConfigPanel::ConfigPanel(bool *running, bool *start, SDLConfig *config, int width, int height)
    : running(running)
{
    char selected[10];
    snprintf(selected, sizeof selected, "%i", config->getMixingFrequency());

    struct {
        Checkbox *&box;
        const char *text;
        bool *option;
    } boxes[] = {
        {fullscreen, kBoxTexts[0], config->fullscreenRef()},
        {effects, kBoxTexts[1], config->effectsRef()},
        {showConfig, kBoxTexts[2], config->showConfigRef()},
        {verbose, kBoxTexts[3], config->verboseRef()},
        {music, kBoxTexts[4], config->musicRef()},
        {soundEffects, kBoxTexts[5], config->soundEffectsRef()},
    };
    for (auto &b : boxes) {
        b.box = own(new Checkbox(b.text, *b.option));
        options.emplace_back(new BoolOption(b.option));
        b.box->setListener(options.back().get());
    }

    mixFrequency = own(new OptionBox(config->getMixOptions(), selected));
    mixChange.reset(new MixChange(config));
    mixFrequency->setListener(mixChange.get());

    const char *song = config->getSong();
    module = own(new Textfield(song ? song : ""));
    moduleLabel = own(new Label(kLabelTexts[1], Label::LEFT));

    Button *startButton = own(new Button("Start"));
    Button *abortButton = own(new Button("Abort"));
    startListener.reset(new StartListener(running, start));
    abortListener.reset(new AbortListener(running, start));
    startButton->setListener(startListener.get());
    abortButton->setListener(abortListener.get());

    setLayout(new BoxLayout(8, 2));
    Component *grid[16] = {
        fullscreen, music,
        effects, soundEffects,
        showConfig, verbose,
        own(new Label("", Label::RIGHT)), own(new Label("", Label::RIGHT)),
        own(new Label(kLabelTexts[0], Label::LEFT)), mixFrequency,
        moduleLabel, module,
        own(new Label("", Label::RIGHT)), own(new Label("", Label::RIGHT)),
        startButton, abortButton,
    };
    for (Component *c : grid)
        add(c);
    setBounds(0, 0, width, height);
    doLayout();
}

ConfigPanel::~ConfigPanel() {}

char *ConfigPanel::getModule() const
{
    if (module->text().empty())
        return nullptr;
    return module->getText();
}

bool ConfigPanel::getFullscreen() const { return fullscreen->isChecked(); }
bool ConfigPanel::getEffects() const { return effects->isChecked(); }

void ConfigPanel::run(SDL_Surface *screen, const std::function<bool()> &stop)
{
    // Painted again only after an event; between events the loop sleeps
    // instead of spinning a processor.
    bool changed = true;
    while (*running && !(stop && stop())) {
        if (changed) {
            paint(screen, 0, 0);
            SDL_Flip(screen);
        }
        SDL_Event event;
        changed = SDL_PollEvent(&event) != 0;
        if (changed)
            handleEvent(&event, 0, 0);
        else
            SDL_Delay(10);
    }
}

} // namespace SDLGUI
