#include "LinuxPlatform.h"
#include "ReplaceFile.h"

#include "Vector/Vector.h"

#include <dirent.h>
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern char **environ;

LinuxPlatform::LinuxPlatform() {}

LinuxPlatform::~LinuxPlatform()
{
    free(configDir_);
    free(configPath_);
    free(fontOverridePath_);
    free(fontCachePath_);
}

void LinuxPlatform::listDirectory(const char *directory, Vector *names)
{
    DIR *dir = opendir(directory);
    if (!dir)
        return;
    bool home = strcmp(directory, homeDir()) == 0;
    std::vector<std::string> entries;
    while (struct dirent *entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        entries.push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end());
    for (const std::string &name : entries) {
        std::string text = home ? name : std::string(directory) + name;
        char *copy = strdup(text.c_str());
        if (copy)
            Vector_add(names, copy);
    }
}

const char *LinuxPlatform::pathSeparator() { return "/"; }

const char *LinuxPlatform::homeDir() { return "./"; }

// Makes the folder path names in the folder its walk ends in (see
// WalkedPath): never through a link of someone else's, nor one put in
// place of a folder after the walk.
static void makeDirectory(const std::string &path)
{
    WalkedPath at;
    if (at.walk(path))
        mkdirat(at.folder(), at.name().c_str(), 0755);
}

// Makes every missing directory along the path (like mkdir -p).
static void makeDirectories(const std::string &path)
{
    for (size_t pos = 1; pos <= path.size(); pos++)
        if (pos == path.size() || path[pos] == '/')
            makeDirectory(path.substr(0, pos));
}

const char *LinuxPlatform::configDir()
{
    if (!configDir_) {
        std::string dir;
        const char *xdg = getenv("XDG_CONFIG_HOME");
        const char *home = getenv("HOME");
        if (xdg && *xdg)
            dir = xdg;
        else if (home && *home)
            dir = std::string(home) + "/.config";
        else
            dir = ".";
        if (dir.empty() || dir.back() != '/')
            dir += '/';
        makeDirectories(dir);
        configDir_ = strdup(dir.c_str());
    }
    return configDir_;
}

char *LinuxPlatform::buildPath(const char *name)
{
    std::string path = std::string(configDir()) + name;
    return strdup(path.c_str());
}

const char *LinuxPlatform::configPath()
{
    if (!configPath_)
        configPath_ = buildPath("mirandol2");
    return configPath_;
}

const char *LinuxPlatform::fontOverridePath()
{
    if (!fontOverridePath_)
        fontOverridePath_ = buildPath("mirandol2_font_override");
    return fontOverridePath_;
}

const char *LinuxPlatform::fontCachePath()
{
    if (!fontCachePath_)
        fontCachePath_ = buildPath("mirandol2_font_cache");
    return fontCachePath_;
}

void LinuxPlatform::makeDir(const char *path)
{
    makeDirectory(path);
}

static void *reapChild(void *arg)
{
    pid_t pid = (pid_t)(intptr_t)arg;
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return NULL;
}

// The program text is the user's own setting and may carry its own
// arguments, separated by blanks; the link target comes from the magazine
// and is always passed on as one argument, never through a shell.
bool LinuxPlatform::execute(const char *target, const char *program)
{
    if (!program || !*program)
        return false;
    if (!target)
        target = "";

    std::vector<std::string> words;
    std::string word;
    for (const char *p = program;; p++) {
        if (*p == ' ' || *p == '\t' || *p == '\0') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
            if (!*p)
                break;
        } else {
            word += *p;
        }
    }
    if (words.empty())
        return false;
    // The program would read such a target as one of its options.
    if (target[0] == '-') {
        printf("Not executing '%s %s': a link target may not begin with '-'\n", program, target);
        fflush(stdout);
        return false;
    }

    printf("Executing '%s %s'\n", program, target);
    fflush(stdout);

    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    std::string targetCopy = target;
    argv.push_back(&targetCopy[0]);
    argv.push_back(nullptr);

    // The reader ignores SIGXFSZ (QuitSignals.h); the program gets the
    // default back, as it would have it when started by hand.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        fprintf(stderr, "Could not start '%s': %s\n", argv[0], strerror(rc));
        return false;
    }
    // The program runs on its own; a detached thread collects its status.
    pthread_t reaper;
    if (pthread_create(&reaper, nullptr, reapChild, (void *)(intptr_t)pid) == 0)
        pthread_detach(reaper);
    return true;
}

bool LinuxPlatform::putToClipboard(const char *text)
{
    return false;
}

const char *LinuxPlatform::convertMo3(const char *fileName)
{
    return nullptr;
}

int LinuxPlatform::queryFlag()
{
    return 1;
}

const char *LinuxPlatform::systemFontDir()
{
    return "/usr/share/fonts/truetype/";
}
