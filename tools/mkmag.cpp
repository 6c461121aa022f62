// mkmag [--scramble] OUT.dat DIR
// Packs every file under DIR (names relative to DIR) into a magazine archive
// with stored members, scrambled when asked. Archives in DIR (its own output
// among them) and the reader's own folders "temp" and "save" at the top of
// DIR are left out; an empty DIR is refused, and what the reader would miss,
// misread or refuse is told on standard error. The archive is written beside
// OUT and put in its place only when whole: a failure or a quit signal
// leaves the old one as it was.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MagCheck.h"
#include "MagOutput.h"
#include "MagWriter.h"
#include "ReplaceFile.h"

static int usage()
{
    fprintf(stderr, "usage: mkmag [--scramble] OUT.dat DIR\n"
                    "Packs every file under DIR but *.dat archives and the reader's own folders\n"
                    "DIR/temp/ and DIR/save/.\n");
    return 2;
}

// Ends the process by the signal that stopped it, as a shell expects.
static void endBy(int sig)
{
    signal(sig, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, sig);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(sig);
}

// Stops, saying so as a stopped write does, when a quit signal came while
// the input was read or checked: out is not touched.
static void stopWhenAsked(const std::string &out)
{
    int sig = magTakeQuitSignal();
    if (!sig)
        return;
    struct stat st;
    fprintf(stderr, "mkmag: %s\n", magStoppedText(sig, out, lstat(out.c_str(), &st) == 0).c_str());
    endBy(sig);
}

int main(int argc, char **argv)
{
    bool scramble = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--scramble"))
            scramble = true;
        else if (argv[i][0] == '-' && argv[i][1])
            return usage();
        else
            args.emplace_back(argv[i]);
    }
    if (args.size() != 2)
        return usage();
    // Past a file-size limit a write fails (EFBIG) and is told like a full disk.
    signal(SIGXFSZ, SIG_IGN);
    // A quit signal is taken between steps, and said.
    magHoldQuitSignals();

    MagArchive archive;
    std::string error;
    std::vector<MagFound> found, packed;
    std::vector<std::string> skipped;
    // What the reader writes beside its magazine is never part of it.
    const std::vector<std::string> readersOwn = {"temp", "save"};
    bool collected = magFind(args[1], found, error, readersOwn, &skipped);
    for (const std::string &s : skipped)
        fprintf(stderr, "mkmag: %s\n", s.c_str());
    if (!collected) {
        fprintf(stderr, "mkmag: %s\n", error.c_str());
        return 1;
    }
    // The output may lie in DIR under any name: it is known by its file,
    // found as it would be written (never through another user's link).
    struct stat out;
    WalkedPath outAt;
    bool outExists = outAt.walk(args[0]) &&
                     fstatat(outAt.folder(), outAt.name().c_str(), &out, AT_SYMLINK_NOFOLLOW) == 0;
    for (MagFound &f : found) {
        struct stat st;
        bool isOutput = outExists && stat(f.path.c_str(), &st) == 0 && st.st_dev == out.st_dev &&
                        st.st_ino == out.st_ino;
        // An unfinished archive of this tool is one too.
        if (isOutput || magIsArchiveName(f.name) || magIsUnfinishedName(f.name)) {
            std::string name = f.name;
            std::replace(name.begin(), name.end(), '\\', '/');
            fprintf(stderr, "mkmag: leaving out %s: an archive is never packed into another\n", name.c_str());
        } else {
            packed.push_back(std::move(f));
        }
    }
    if (packed.empty()) {
        fprintf(stderr, "mkmag: %s %s: nothing to pack (a magazine needs at least config.txt and "
                        "its start article)\n",
                args[1].c_str(), found.empty() ? "is empty" : "holds only archives");
        return 2;
    }
    // Told from the sizes, before a file is read.
    const uint64_t largest = 0x7FFFFFFFu;
    if (magArchiveSize(packed) > largest) {
        fprintf(stderr, "mkmag: the archive would exceed 2 GiB\n");
        return 1;
    }
    for (const MagFound &f : packed) {
        MagMember m;
        if (!magRead(f, m, error)) {
            fprintf(stderr, "mkmag: %s\n", error.c_str());
            return 1;
        }
        archive.members.push_back(std::move(m));
        stopWhenAsked(args[0]);
    }
    for (const std::string &warning : magWarnings(archive, args[1]))
        fprintf(stderr, "mkmag: warning: %s\n", warning.c_str());
    stopWhenAsked(args[0]);
    std::vector<uint8_t> bytes = archive.build();
    if (bytes.size() > largest) {   // a file grew meanwhile
        fprintf(stderr, "mkmag: the archive would exceed 2 GiB\n");
        return 1;
    }
    if (scramble)
        bytes = magScramble(bytes);
    int result = magWriteWhole(args[0], bytes, error);
    if (result != 0) {
        fprintf(stderr, "mkmag: %s\n", error.c_str());
        if (result > 0)
            endBy(result);
        return 1;
    }
    printf("%s: %zu members, %zu bytes%s\n", args[0].c_str(), archive.members.size(), bytes.size(),
           scramble ? ", scrambled" : "");
    return 0;
}
