// Platform: the operating-system services of the SDL layer: directory
// listing, the program's fixed paths, making directories, starting the
// external link program, the clipboard and a music conversion hook.
// The program never deletes its platform object.
#ifndef MIRANDOL_PLATFORM_H
#define MIRANDOL_PLATFORM_H

struct Vector;

class Platform {
public:
    // Appends one new malloc'd name per entry except "." and ".."; bare names
    // for the home directory, otherwise the directory text followed by the name.
    virtual void listDirectory(const char *directory, Vector *names) = 0;
    virtual const char *pathSeparator() = 0;
    virtual const char *homeDir() = 0;
    virtual const char *configPath() = 0;
    virtual const char *fontOverridePath() = 0;
    virtual const char *fontCachePath() = 0;
    virtual void makeDir(const char *path) = 0;
    // Starts the program with the link target; true when it was started.
    virtual bool execute(const char *target, const char *program) = 0;
    // True when the text was put on a clipboard.
    virtual bool putToClipboard(const char *text) = 0;
    // Name of a playable file for a ".mo3" song, or null when none.
    virtual const char *convertMo3(const char *fileName) = 0;
    virtual int queryFlag() = 0;
    virtual const char *systemFontDir() = 0;

protected:
    ~Platform() {}
};

#endif
