#include "SDLConfig.h"

#include "Map/MapArray.h"
#include "Platform.h"
#include "ReplaceFile.h"
#include "Vector/Vector.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

static char *copyText(const char *text)
{
    char *copy = strdup(text ? text : "");
    if (!copy) {
        fprintf(stderr, "SDLConfig: out of memory\n");
        abort();
    }
    return copy;
}

static void addDefaultMixOptions(Vector *options)
{
    Vector_add(options, copyText("44100"));
    Vector_add(options, copyText("22050"));
    Vector_add(options, copyText("11025"));
}

// Splits at every ';' and appends each piece (empty ones included).
static void splitList(const char *value, Vector *list)
{
    const char *start = value;
    for (;;) {
        const char *end = strchr(start, ';');
        size_t length = end ? (size_t)(end - start) : strlen(start);
        std::string piece(start, length);
        Vector_add(list, copyText(piece.c_str()));
        if (!end)
            break;
        start = end + 1;
    }
}

SDLConfig::SDLConfig(const char *path) : path(path) {}

SDLConfig::~SDLConfig()
{
    if (fontPaths)
        Vector_deleteAll(fontPaths);
    if (mixOptions)
        Vector_deleteAll(mixOptions);
    if (entries)
        MapArray_deleteAll(entries);
}

SDLConfig *SDLConfig::read(const char *path, Platform *platform)
{
    SDLConfig *config = new SDLConfig(path);
    config->load(platform);
    return config;
}

void SDLConfig::readBoolean(const char *key, bool &field)
{
    const char *value = (const char *)MapArray_get(entries, key);
    if (value) {
        if (strcasecmp(value, "true") == 0) {
            field = true;
            return;
        }
        if (strcasecmp(value, "false") == 0) {
            field = false;
            return;
        }
        printf("Error in config file, keyword %s should have a boolean value, but has: %s.\n", key,
               value);
    }
    printf("No entry for keyword %s in config file, should be boolean.\n", key);
}

void SDLConfig::load(Platform *platform)
{
    fontPaths = Vector_create();
    mixOptions = Vector_create();
    entries = MapArray_new(10);

    // Read as they are written: through a link of someone else's they are
    // not read at all.
    FILE *file = path ? openOwnRegularFile(path, "r") : nullptr;
    if (!file) {
        // A first start has no settings yet: it writes the defaults instead
        // of complaining at every start until the configuration window runs.
        // A FIFO or a device there counts as missing (reading it would wait
        // or never end), and so does a file behind someone else's link
        // (then they cannot be saved either, which is said).
        bool missing = path && errno == ENOENT;
        if (!missing)
            printf("Could not read config file at path : %s!\n", path ? path : "");
        Vector_add(fontPaths, copyText(platform->systemFontDir()));
        addDefaultMixOptions(mixOptions);
        if (missing)
            write();
        return;
    }

    // Lines are read whole, however long they are.
    char *line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = getline(&line, &capacity, file)) >= 0) {
        if (length == 0 || line[0] == '#')
            continue;
        char *equals = strchr(line, '=');
        if (!equals) {
            printf("Malformed line in config. No '=' character, and not a comment: %s\n", line);
            continue;
        }
        std::string key(line, (size_t)(equals - line));
        std::string value(equals + 1);
        if (!value.empty() && value.back() == '\n')
            value.pop_back();
        char *stored = copyText(value.c_str());
        if (!MapArray_put(entries, key.c_str(), stored))
            free(stored);
    }
    free(line);
    fclose(file);

    readBoolean("fullscreen", fullscreen);
    readBoolean("verbose", verbose);
    readBoolean("effects", effects);
    readBoolean("showConfig", showConfig);
    readBoolean("music", music);
    readBoolean("soundEffects", soundEffects);

    const char *frequency = (const char *)MapArray_get(entries, "mixingFrequency");
    if (frequency) {
        char *end = nullptr;
        errno = 0;
        long number = (*frequency >= '0' && *frequency <= '9') ? strtol(frequency, &end, 10) : 0;
        if (end && end != frequency && errno == 0 && validMixingFrequency(number)) {
            mixingFrequency = (int)number;
        } else {
            printf("Error in config file, keyword %s should have a positive integer value, but has: "
                   "%s.\n",
                   "mixingFrequency", frequency);
            printf("No entry for keyword %s in config file, should be a positive integer.\n",
                   "mixingFrequency");
        }
    } else {
        printf("No entry for keyword %s in config file, should be a positive integer.\n",
               "mixingFrequency");
    }

    const char *lists[2] = {"fontPaths", "mixOptions"};
    Vector *targets[2] = {fontPaths, mixOptions};
    for (int i = 0; i < 2; i++) {
        const char *value = (const char *)MapArray_get(entries, lists[i]);
        if (value)
            splitList(value, targets[i]);
        else
            printf("No entry for keyword %s in config file, should be a collection of strings "
                   "separated by ';' characters.\n",
                   lists[i]);
    }

    externalLink = (const char *)MapArray_get(entries, "externalLink");
    if (!externalLink)
        printf("No entry for keyword %s in config file, should be a string.\n", "externalLink");

    if (Vector_size(fontPaths) == 0) {
        const char *home = platform->homeDir();
        Vector_add(fontPaths, copyText(home));
        std::string fonts = std::string(home) + "fonts" + platform->pathSeparator();
        Vector_add(fontPaths, copyText(fonts.c_str()));
    }
    if (Vector_size(mixOptions) == 0)
        addDefaultMixOptions(mixOptions);
}

char *SDLConfig::joinList(const Vector *vector)
{
    std::string text;
    for (int i = 0; i < Vector_size(vector); i++) {
        if (i > 0)
            text += ';';
        const char *item = (const char *)Vector_get(vector, i);
        text += item ? item : "";
    }
    // Items that add up to no characters give an empty text.
    size_t characters = 0;
    for (int i = 0; i < Vector_size(vector); i++) {
        const char *item = (const char *)Vector_get(vector, i);
        characters += item ? strlen(item) : 0;
    }
    if (characters == 0)
        text.clear();
    return copyText(text.c_str());
}

bool SDLConfig::write()
{
    ReplacingFile replacement;
    FILE *file = path ? replacement.open(path) : nullptr;
    if (file) {
        char *fonts = joinList(fontPaths);
        char *options = joinList(mixOptions);
        fprintf(file, "%s=%s\n", "fontPaths", fonts);
        fprintf(file, "%s=%s\n", "mixOptions", options);
        fprintf(file, "%s=%s\n", "showConfig", showConfig ? "true" : "false");
        fprintf(file, "%s=%s\n", "effects", effects ? "true" : "false");
        fprintf(file, "%s=%i\n", "mixingFrequency", mixingFrequency);
        fprintf(file, "%s=%s\n", "fullscreen", fullscreen ? "true" : "false");
        fprintf(file, "%s=%s\n", "verbose", verbose ? "true" : "false");
        fprintf(file, "%s=%s\n", "music", music ? "true" : "false");
        fprintf(file, "%s=%s\n", "soundEffects", soundEffects ? "true" : "false");
        fprintf(file, "%s=%s\n", "externalLink", externalLink ? externalLink : "");
        free(fonts);
        free(options);
    }
    unsaved = !replacement.commit(file != nullptr);
    if (unsaved)
        fprintf(stderr, "Could not save the settings\n");
    return !unsaved;
}
