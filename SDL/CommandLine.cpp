// The reader's command line (see CommandLine.h).
#include "CommandLine.h"

#include "SDLConfig.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

static const char *const VERSION = "2.0.22";

static const char *const USAGE =
    "\t-h, -help\t\tthis text\n"
    "\t-c, -config\t\tforce showing of configuration window\n"
    "\t-s X, -song X\t\tplay song X instead of default music\n"
    "\t-a X, -article X\tshow article X instead of default\n";

namespace {

enum Option { OPTION_NONE, OPTION_HELP, OPTION_CONFIG, OPTION_SONG, OPTION_ARTICLE };

struct OptionName {
    const char *shortName;
    const char *longName;
    Option option;
};

const OptionName OPTIONS[] = {
    {"h", "help", OPTION_HELP},
    {"c", "config", OPTION_CONFIG},
    {"s", "song", OPTION_SONG},
    {"a", "article", OPTION_ARTICLE},
};

Option optionOf(const char *argument)
{
    if (argument[0] != '-')
        return OPTION_NONE;
    const char *name = argument + 1;
    if (name[0] == '-')
        name++;
    for (const OptionName &o : OPTIONS)
        if (strcasecmp(name, o.shortName) == 0 || strcasecmp(name, o.longName) == 0)
            return o.option;
    return OPTION_NONE;
}

CommandLineResult refuse(const char *program, const char *complaint, const char *argument)
{
    fflush(stdout);
    fprintf(stderr, "%s: %s '%s'\nusage: %s [-h] [-c] [-s SONG] [-a ARTICLE]\n%s", program,
            complaint, argument, program, USAGE);
    return COMMAND_LINE_BAD;
}

} // namespace

CommandLineResult applyCommandLine(SDLConfig *config, int argc, char **argv)
{
    const char *program = argc > 0 && argv[0] ? argv[0] : "mirandol2";
    for (int i = 1; i < argc; i++) {
        const char *argument = argv[i];
        if (!argument)
            continue;
        Option option = optionOf(argument);
        switch (option) {
        case OPTION_NONE:
            return refuse(program, "unknown option", argument);
        case OPTION_HELP:
            printf("\n");
            printf("Mirandol - e-Magazine Browser\n");
            printf("Version %s\n", VERSION);
            printf("Written by the Mirandol 2 developers\n");
            printf("\n\n");
            printf("%s", USAGE);
            fflush(stdout);
            return COMMAND_LINE_HELP;
        case OPTION_CONFIG:
            config->setShowConfig(true);
            break;
        case OPTION_SONG:
        case OPTION_ARTICLE:
            if (i + 1 >= argc || !argv[i + 1])
                return refuse(program, "missing value after", argument);
            if (option == OPTION_SONG)
                config->setSong(argv[++i]);
            else
                config->setArticle(argv[++i]);
            break;
        }
    }
    return COMMAND_LINE_RUN;
}
