// The reader's command line: "-h", "-c", "-s SONG" and "-a ARTICLE", each
// also in its long form ("-help", "-config", "-song", "-article"), with one
// or two leading dashes and in any case.
#ifndef MIRANDOL_COMMAND_LINE_H
#define MIRANDOL_COMMAND_LINE_H

class SDLConfig;

enum CommandLineResult {
    COMMAND_LINE_RUN,     // the options were applied; the reader starts
    COMMAND_LINE_HELP,    // the banner and usage went to standard output
    COMMAND_LINE_BAD      // an unknown argument or a missing value: the
                          // complaint and the usage went to standard error
};

// Applies the arguments after the program name to the configuration in
// order. Song and article point into argv, which outlives the run.
CommandLineResult applyCommandLine(SDLConfig *config, int argc, char **argv);

#endif
