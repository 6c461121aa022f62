// SDLSystem: construction and command line, the current file, the program
// directory listing, user flags and strings, links, clipboard, search
// progress, the allocation check, the error text and the operation log.
#include "SDL_System.h"

#include <pthread.h>
#include <signal.h>

#include "Assert.h"
#include "CommandLine.h"
#include "Map/MapArray.h"
#include "Platform.h"
#include "Queue.h"
#include "ReplaceFile.h"
#include "SDLConfig.h"
#include "SoundSystem.h"
#include "SDL_Hooks.h"
#include "Strings.h"
#include "Vector/Vector.h"

#include <SDL.h>

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

static const char *SOURCE = "SDL_System";

static const char *orNull(const char *text)
{
    return text ? text : "(null)";
}

SDLSystem::SDLSystem(Platform *platform, int argc, char **argv) : platform(platform)
{
    // New files that a reader killed while writing left beside its settings.
    for (const char *path : {platform->configPath(), platform->fontCachePath()})
        if (path)
            sweepReplacementsOf(path);
    config = SDLConfig::read(platform->configPath(), platform);

    switch (applyCommandLine(config, argc, argv)) {
    case COMMAND_LINE_HELP:
        helpShown = true;
        return;
    case COMMAND_LINE_BAD:
        badCommandLine = true;
        return;
    case COMMAND_LINE_RUN:
        break;
    }

    // Timers run on a thread of their own (SDL_Wait), which sleeps between
    // them, unlike SDL's, which wakes every millisecond.
    // SDL turns an interrupt or a termination request into a quit event,
    // which the reader ignores like the window's close button; the entry
    // point makes them end the reader through its teardown instead. Both are
    // held back while SDL starts, so that none reaches SDL's handlers: one
    // that arrives meanwhile takes effect once the handlers from before
    // (the entry point's, or the defaults) are back.
    sigset_t quitSignals, previousMask;
    sigemptyset(&quitSignals);
    sigaddset(&quitSignals, SIGINT);
    sigaddset(&quitSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &quitSignals, &previousMask);
    struct sigaction previousInterrupt, previousTerminate;
    sigaction(SIGINT, nullptr, &previousInterrupt);
    sigaction(SIGTERM, nullptr, &previousTerminate);
    // An X server without other clients resets when SDL's probe connection
    // closes, and refuses the connection that follows for a moment: try again
    // for up to half a second before giving up.
    int started = SDL_Init(SDL_INIT_VIDEO);
    for (int retry = 0; started < 0 && retry < 10; retry++) {
        SDL_Delay(50);
        started = SDL_Init(SDL_INIT_VIDEO);
    }
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    if (started < 0) {
        fprintf(stderr, "Unable to init SDL: %s\n", SDL_GetError());
    } else {
        sdlStarted = true;
        ready = true;
    }

    queueMutex = SDL_CreateMutex();
    messageQueue = Queue_new();
    openFonts = MapArray_new(10);
    searchWords = Vector_create();
    searchArticles = Vector_create();
    findList = Vector_create();

    const char *home = platform->homeDir();
    homeFiles = Vector_create();
    platform->listDirectory(home, homeFiles);

    // The reader's folders and the fallback font are made only beside a
    // magazine: a start in any other directory leaves it as it was.
    magazineFound = findHomeFile(".dat") != nullptr;
    if (magazineFound) {
        std::string save = std::string(home) + "save";
        std::string temp = std::string(home) + "temp";
        platform->makeDir(save.c_str());
        platform->makeDir(temp.c_str());
        // What a killed reader was writing there never took a name of the
        // user's; the new files themselves go. The fallback font is
        // written in a folder of its own below temp/.
        std::string separator = platform->pathSeparator();
        sweepReplacements(save + separator);
        sweepReplacements(temp + separator);
        sweepReplacements(temp + separator + "fallback" + separator);
    }

    SDLSystem_buildFontMap(this);

    savedPointerX = savedPointerY = 0;
    savedPointerW = savedPointerH = 0;
    logf("SDLSystem constructor\n");

    // Without a magazine the reader only reports that, so the window (which
    // would also lack its fallback font) is not shown.
    if (config->getShowConfig() && ready && magazineFound) {
        bool start = true;
        if (SDLSystem_runConfigWindow(this, start))
            config->write();
        if (!start) {
            // Aborted, or no window could be opened: the reader does not start.
            ready = false;
            return;
        }
    }

    if (config->getMusic() || config->getSoundEffects())
        SDLSystem_openSound(this);
}

SDLSystem::~SDLSystem()
{
    logf("~SDLSystem\n");
    // The program itself never deletes its SDLSystem; tests do, and get
    // back what this source made.
    extern void SDLSystem_forgetTimers(SDLSystem *system);
    SDLSystem_forgetTimers(this);
    extern void SDLSystem_releaseDisplayAndFonts(SDLSystem *system);
    SDLSystem_releaseDisplayAndFonts(this);
    SDLSystem_closeSound(this);
    dropCurrentFile();
    waiting.clear();   // never put in place: removed
    if (messageQueue) {
        while (void *record = Queue_pop(messageQueue))
            free(record);
        Queue_delete(messageQueue);
    }
    if (queueMutex)
        SDL_DestroyMutex(queueMutex);
    if (openFonts)
        MapArray_delete(openFonts);
    SDLSystem_releaseSearch(this);
    if (findList)
        Vector_delete(findList);
    if (homeFiles)
        Vector_deleteAll(homeFiles);
    delete config;
}

bool SDLSystem::verbose() const
{
    return config && config->getVerbose();
}

void SDLSystem::logf(const char *format, ...)
{
    if (!verbose())
        return;
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

bool SDLSystem::is_ready()
{
    logf("is_ready()\n");
    return ready;
}

// --- the current file ---

bool SDLSystem::find_files(char *&name)
{
    if (!findInProgress) {
        logf("Attempting to find files: %s\n", orNull(name));
        if (name && strcmp(name, "*.*") == 0) {
            Vector_clear(findList);
            for (int i = 0; i < Vector_size(homeFiles); i++)
                Vector_add(findList, Vector_get(homeFiles, i));
            findIndex = 0;
            findInProgress = true;
        }
    }
    if (findIndex < 0 || findIndex >= Vector_size(findList)) {
        findIndex = -1;
        findInProgress = false;
        return false;
    }
    name = (char *)Vector_get(findList, findIndex);
    findIndex++;
    return true;
}

// Entries of the program directory are listed by their bare names.
static bool isRegularFile(const char *entry)
{
    struct stat st;
    return stat(entry, &st) == 0 && S_ISREG(st.st_mode);
}

const char *SDLSystem::findHomeFile(const char *suffix) const
{
    size_t suffixLength = strlen(suffix);
    for (int i = 0; i < Vector_size(homeFiles); i++) {
        const char *entry = (const char *)Vector_get(homeFiles, i);
        size_t length = strlen(entry);
        if (length < suffixLength)
            continue;
        if (strcasecmp(entry + length - suffixLength, suffix) == 0 && isRegularFile(entry))
            return entry;
    }
    return nullptr;
}

bool SDLSystem::find_one_file(char *&name)
{
    logf("find_one_file : %s\n", orNull(name));
    if (!name)
        return false;
    if (name[0] == '*') {
        const char *entry = findHomeFile(name + 1);
        if (!entry)
            return false;
        name = String::duplicate(entry);
        return true;
    }
    // Tested as the sound system finds songs: the user's "-s" song may
    // differ in letter case from the file on disk.
    char *found = findFileIgnoringCase(name);
    bool exists = found != nullptr;
    delete[] found;
    return exists;
}

void SDLSystem::dropCurrentFile()
{
    if (openFile && openFile == scratch.stream())
        endScratch(false);
    else if (openFile && openFile != replacement.stream())
        fclose(openFile);
    openFile = nullptr;
    openForReading = false;
    replacement.discard();
    appended.close();
}

bool SDLSystem::create_file(const char *name, int where)
{
    logf("create_file: %s, where: %i\n", orNull(name), where);
    if (!name)
        return false;
    dropCurrentFile();
    std::string path;
    if (where & FILE_IN_TEMP)
        path = std::string("temp/") + name;
    else if (where & FILE_IN_SAVE)
        path = std::string("save/") + name;
    else
        path = name;
    if ((where & FILE_TRUNCATE) && (where & FILE_SCRATCH)) {
        openFile = scratch.open(path);
        scratchName = name;
    } else if (where & FILE_TRUNCATE) {
        openFile = replacement.open(path);
        holdReplacement = (where & FILE_HOLD) != 0;
    } else {
        // Appended to in the folder as walked, as every write is: a new
        // file or a regular one the user may write.
        TargetKind kind = appended.walk(path) ? targetKindAt(appended.folder(), appended.name()) : TargetKind::Refused;
        int fd = kind == TargetKind::Absent || kind == TargetKind::Replaceable
                     ? openat(appended.folder(), appended.name().c_str(),
                              O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644)
                     : -1;
        openFile = fd >= 0 ? fdopen(fd, "a+b") : nullptr;
        if (!openFile) {
            if (fd >= 0)
                close(fd);
            appended.close();
        }
    }
    return openFile != nullptr;
}

bool SDLSystem::open_file(const char *name)
{
    logf("open_file: %s\n", orNull(name));
    if (!name)
        return false;
    dropCurrentFile();
    openForReading = true;
    // Only regular files: a FIFO or a device there is missing (reading one
    // would wait for a writer, or never end). The visited list is read
    // from temp/, where it is written, and walked as it is written; one
    // left beside the magazine counts only when temp/ has none.
    std::string temp = std::string("temp/") + name;
    if (strcmp(name, "visited.txt") == 0) {
        openFile = openOwnRegularFile(temp, "rb");
        if (!openFile)
            openFile = openOwnRegularFile(name, "rb");
    } else {
        openFile = openRegularFile(name, "rb");
        if (!openFile)
            openFile = openRegularFile(temp, "rb");
    }
    if (!openFile) {
        // A missing visited list only means nothing was read before.
        if (errno != ENOENT || strcmp(name, "visited.txt") != 0)
            fprintf(stderr, "Could not open file '%s' for reading.\n", name);
        return false;
    }
    return true;
}

int SDLSystem::get_file_size()
{
    logf("get_file_size: ");
    M2_ASSERT(openFile != NULL, SOURCE);
    long position = ftell(openFile);
    long size = -1;
    if (position >= 0 && fseek(openFile, 0, SEEK_END) == 0) {
        size = ftell(openFile);
        fseek(openFile, position, SEEK_SET);
    }
    if (size > 0x7FFFFFFF)
        size = -1;
    logf("%i\n", (int)size);
    return (int)size;
}

// Reads past the next count bytes of a stream open for reading; false when
// they are not all there.
static bool skipForward(FILE *f, long count)
{
    char block[4096];
    return count <= (long)sizeof block && fread(block, 1, (size_t)count, f) == (size_t)count;
}

bool SDLSystem::seek_file(int pos)
{
    logf("seek_file pos: %i\n", pos);
    // A short step forward is read past: every seek asks the system for the
    // position again, and the archive's block headers are read one seek apart.
    long at = openFile && openForReading && pos >= 0 ? ftell(openFile) : -1;
    if (at >= 0 && pos >= at && skipForward(openFile, pos - at))
        return true;
    if (!openFile || pos < 0 || fseek(openFile, pos, SEEK_SET) != 0) {
        printf("Seek error!\n");
        return false;
    }
    return true;
}

bool SDLSystem::read_file(void *buffer, int size)
{
    logf("read_file, size: %i - ", size);
    bool ok = false;
    if (openFile && buffer && size >= 0)
        ok = fread(buffer, 1, (size_t)size, openFile) == (size_t)size;
    logf("\n");
    return ok;
}

bool SDLSystem::write_file(const void *buffer, int size)
{
    logf("write_file, %i bytes\n", size);
    M2_ASSERT(openFile != NULL, SOURCE);
    if (!buffer || size < 0)
        return false;
    if (openFile == scratch.stream())
        return scratch.write(buffer, (size_t)size);
    return fwrite(buffer, 1, (size_t)size, openFile) == (size_t)size;
}

void SDLSystem::close_file()
{
    logf("close_file\n");
    M2_ASSERT(openFile != NULL, SOURCE);
    if (openFile == replacement.stream() || openFile == scratch.stream()) {
        // Put in place when written whole; the old file stays otherwise.
        commitCurrentFile(true);
        return;
    }
    fclose(openFile);
    openFile = nullptr;
    appended.close();
}

bool SDLSystem::endScratch(bool keep)
{
    openFile = nullptr;
    std::vector<unsigned char> unwritten;
    bool ok = scratch.end(keep, &unwritten);
    if (!unwritten.empty())
        unwrittenCopies[scratchName] = std::move(unwritten);
    return ok;
}

bool SDLSystem::commitCurrentFile(bool keep)
{
    bool ok = false;
    if (openFile && openFile == scratch.stream())
        return endScratch(keep);
    if (openFile && openFile == replacement.stream()) {
        openFile = nullptr;
        if (!holdReplacement)
            return replacement.commit(keep);
        ok = keep && replacement.finish();
        if (ok)
            waiting.push_back(std::move(replacement));
        replacement.discard();
        return ok;
    }
    if (openFile) {
        ok = fclose(openFile) == 0;
        openFile = nullptr;
    }
    if ((!keep || !ok) && appended.walked())
        unlinkat(appended.folder(), appended.name().c_str(), 0);
    appended.close();
    return ok && keep;
}

bool SDLSystem::commit_file(bool keep)
{
    logf("commit_file, keep: %i\n", keep ? 1 : 0);
    return commitCurrentFile(keep);
}

bool SDLSystem::place_files(bool keep)
{
    logf("place_files, keep: %i\n", keep ? 1 : 0);
    // Every name is looked at before any is placed: each must be free, a
    // file that may be replaced, or a device (written into already).
    bool ok = keep;
    for (ReplacingFile &file : waiting)
        ok = ok && targetKindAt(file.folder(), file.name()) != TargetKind::Refused;
    // New names first: only they can need room in the directory (a rename
    // over an existing name takes none). Each file replaced is kept aside
    // (under a name the start-up sweep knows) until all are in place;
    // should one fail, those are put back and the new names removed.
    // Every step acts in the folder each file found when it was made.
    std::vector<ReplacingFile *> order;
    struct stat st;
    for (int pass = 0; pass < 2; pass++)
        for (ReplacingFile &file : waiting)
            if ((fstatat(file.folder(), file.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) == (pass == 1))
                order.push_back(&file);
    struct Placed { ReplacingFile *file; std::string aside; };   // aside empty: a new name
    std::vector<Placed> placed;
    for (ReplacingFile *file : order) {
        if (!ok)
            break;
        TargetKind kind = targetKindAt(file->folder(), file->name());
        std::string aside;
        ok = kind != TargetKind::Replaceable || keepAsideAt(file->folder(), file->name(), aside);
        ok = ok && file->place();
        if (ok && kind != TargetKind::Device)
            placed.push_back({file, aside});
        else if (!aside.empty())
            unlinkat(file->folder(), aside.c_str(), 0);   // not replaced after all
    }
    for (auto at = placed.rbegin(); at != placed.rend(); ++at) {
        int folder = at->file->folder();
        const char *name = at->file->name().c_str(), *aside = at->aside.c_str();
        if (ok && *aside)
            unlinkat(folder, aside, 0);                   // all in place: the old file goes
        else if (!ok && !*aside)
            unlinkat(folder, name, 0);                    // a new name: removed again
        else if (!ok)
            renameat(folder, aside, folder, name);        // the old file is put back
    }
    waiting.clear();    // the rest are discarded
    return ok;
}

// --- empty operations ---

// No printer on this platform: nothing is printed.
bool SDLSystem::print(Article *article)
{
    return false;
}

MovieHandle SDLSystem::open_movie(const char *name, MovieInfo *info)
{
    return nullptr;
}

void SDLSystem::next_movie_frame(MovieHandle movie) {}

void SDLSystem::draw_movie(MovieHandle movie, int x, int y, int width, int height) {}

void SDLSystem::close_movie(MovieHandle movie) {}

void SDLSystem::spare() {}

// --- settings, links, search progress, errors ---

int SDLSystem::get_user_flag(int index)
{
    logf("get_user_flag, flag: %i\n", index);
    switch (index) {
    case USER_FLAG_FONT_DPI:
        return 96;
    case USER_FLAG_EFFECTS:
        return config->getEffects() ? 1 : 0;
    case USER_FLAG_MAGAZINE_MUSIC:
        return config->getSong() ? 0 : 1;
    case USER_FLAG_ROW_ALIGN:
        return 1;
    case USER_FLAG_BYTES_PER_PIXEL:
        return 4;
    case USER_FLAG_PIXEL_ORDER:
        return 1;
    case USER_FLAG_SWAP_RB:
        return 1;
    case USER_FLAG_FAST_JPEG:
        return 0;
    default:
        fprintf(stderr, "Invalid flag given in get_user_flag. Returning 0 and hopeing for the best.");
        return 0;
    }
}

const char *SDLSystem::get_user_string(int index)
{
    logf("get_user_string\n");
    switch (index) {
    case USER_STRING_ARTICLE:
        return config->getArticle();
    case USER_STRING_SONG:
        return config->getSong();
    default:
        fprintf(stderr,
                "Invalid flag given in get_user_string. Returning NULL and hopeing for the best.");
        return nullptr;
    }
}

bool SDLSystem::open_link(const char *target)
{
    logf("open_link: %s\n", orNull(target));
    return platform->execute(target, config->getExternalLink());
}

bool SDLSystem::put_to_clipboard(const char *text)
{
    logf("put_to_clipboard: %s\n", orNull(text));
    return platform->putToClipboard(text);
}

bool SDLSystem::indexing_progress(int count)
{
    // A call outside a build starts one (so a search after a failed build
    // tries again); the build's own calls count the articles.
    if (!indexingStarted) {
        indexingStarted = true;
        indexingCounter = 0;
        SDLSystem_buildSearchIndex();
        indexingStarted = false;
    } else {
        indexingCounter++;
    }
    return true;
}

void SDLSystem::critical_check(const void *pointer)
{
    logf("critical_check, %x\n", (unsigned)(uintptr_t)pointer);
    if (!pointer) {
        fprintf(stderr, "critical_check failed! Shutting down ....\n");
        fflush(stderr);
        exit(1);
    }
}

void SDLSystem::set_error_message(const char *text)
{
    logf("set_error_message : %s\n", orNull(text));
    errorMessage = text;
}

void SDLSystem::report(const char *text)
{
    logf("report : %s\n", orNull(text));
    fprintf(stderr, "%s\n", text ? text : "");
    fflush(stderr);
}
