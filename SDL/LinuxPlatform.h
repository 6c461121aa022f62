// LinuxPlatform: the current directory is the magazine's directory; the
// program's own files live in $XDG_CONFIG_HOME (default $HOME/.config).
#ifndef MIRANDOL_LINUX_PLATFORM_H
#define MIRANDOL_LINUX_PLATFORM_H

#include "Platform.h"

class LinuxPlatform : public Platform {
public:
    LinuxPlatform();
    ~LinuxPlatform();

    void listDirectory(const char *directory, Vector *names) override;
    const char *pathSeparator() override;
    const char *homeDir() override;
    const char *configPath() override;
    const char *fontOverridePath() override;
    const char *fontCachePath() override;
    void makeDir(const char *path) override;
    bool execute(const char *target, const char *program) override;
    bool putToClipboard(const char *text) override;
    const char *convertMo3(const char *fileName) override;
    int queryFlag() override;
    const char *systemFontDir() override;

    // The directory that stands for the persistent environment directory,
    // with its trailing separator; made when missing.
    const char *configDir();

private:
    char *configDir_ = nullptr;
    char *configPath_ = nullptr;
    char *fontOverridePath_ = nullptr;
    char *fontCachePath_ = nullptr;

    char *buildPath(const char *name);
};

#endif
