#include "GUI/ConfigPanel.h"

#include "SDLConfig.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

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
        {fullscreen, "Fullscreen", config->fullscreenRef()},
        {effects, "Effects", config->effectsRef()},
        {showConfig, "Show config GUI", config->showConfigRef()},
        {verbose, "Verbose", config->verboseRef()},
        {music, "Music", config->musicRef()},
        {soundEffects, "Sound Effects", config->soundEffectsRef()},
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
    moduleLabel = own(new Label("Module:", Label::LEFT));

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
        own(new Label("Mix frequency:", Label::LEFT)), mixFrequency,
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

void ConfigPanel::run(SDL_Surface *screen)
{
    // Painted again only after an event; between events the loop sleeps
    // instead of spinning a processor.
    bool changed = true;
    while (*running) {
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
