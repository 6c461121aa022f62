// Damaged archives and real ones: the container gives a clear error or
// unreadable members, never a crash, hang or huge allocation; magls lists
// every member and service block of the real archives, and what came before
// a damaged header.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "MagWriter.h"
#include "TestDirs.h"
#include "ToolSystem.h"
#include "containr.h"

namespace {

struct Outcome {
    bool opened = false;
    std::string error;
    unsigned members = 0, readable = 0;
};

// Opens an in-memory archive through the container and reads every member.
Outcome openInMemory(const std::vector<uint8_t> &bytes)
{
    ToolSystem sys(bytes.data(), bytes.size(), "corpus.dat");
    System *previous = g_system;
    g_system = &sys;
    Outcome o;
    o.opened = g_container.open();
    o.error = sys.errorText;
    if (o.opened) {
        Tree::forEachInOrder(g_container.root, [&o, &bytes](File *f) {
            if (f->loose)
                return;
            o.members++;
            uint8_t *data = nullptr;
            uint32_t size = 0;
            if (f->load(data, size)) {
                o.readable++;
                EXPECT_LE(size, bytes.size()); // stored data comes from the archive itself
                delete[] data;
            }
        });
        g_container.close();
    }
    g_system = previous;
    return o;
}

MagArchive corpusBase()
{
    MagArchive a;
    a.members = {magFile("config.txt", "<parameters start=main.txt>"), magFile("Main.TXT", "Hello world"),
                 magDirectory("dir"), magFile("dir\\Pic.bmp", std::vector<uint8_t>(64, 0xAB))};
    MagMember sub = magFile("CMT", "comment");
    sub.headType = 0x7A;
    sub.extra = {1, 2, 3};
    a.members.push_back(sub);
    MagMember longName = magFile("fonts\\x.ttf", "TT");
    longName.flags = 0x8100; // large sizes
    a.members.push_back(longName);
    return a;
}

void checkOutcome(const Outcome &o, const std::string &what)
{
    EXPECT_EQ(o.error, o.opened ? "" : "Error in *.dat file") << what;
}

TEST(ArchiveCorpus, TruncationsAndByteChangesAtEveryOffset)
{
    const std::vector<uint8_t> plain = corpusBase().build();
    for (int scramble = 0; scramble < 2; scramble++) {
        Outcome whole = openInMemory(scramble ? magScramble(plain) : plain);
        ASSERT_TRUE(whole.opened);
        EXPECT_EQ(std::make_pair(whole.members, whole.readable), std::make_pair(5u, 5u));
        for (size_t n = 0; n < plain.size(); n++) {
            // A cut scrambled archive is scrambled for its own size.
            std::vector<uint8_t> cut(plain.begin(), plain.begin() + n);
            checkOutcome(openInMemory(scramble ? magScramble(cut) : cut), "cut at " + std::to_string(n));
        }
    }
    for (size_t i = 0; i < plain.size(); i++) {
        for (int change : {0x101, 0x180, 0x1FF, 0x000, 0x0FF}) { // 0x100: xor, else stamp
            std::vector<uint8_t> bad = plain;
            bad[i] = change & 0x100 ? bad[i] ^ (uint8_t)change : (uint8_t)change;
            checkOutcome(openInMemory(bad), "change " + std::to_string(change) + " at " + std::to_string(i));
        }
    }
}

TEST(ArchiveCorpus, AbsurdSizes)
{
    for (uint32_t v : {0u, 1u, 6u, 7u, 31u, 0x7FFFu, 0xFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        const std::string at = " " + std::to_string(v);
        MagArchive a = corpusBase();
        a.members[1].setPackSize = true;
        a.members[1].packSize = v;
        checkOutcome(openInMemory(a.build()), "pack" + at);
        a = corpusBase();
        a.members[1].setUnpSize = true;
        a.members[1].unpSize = v;
        Outcome o = openInMemory(a.build());
        ASSERT_TRUE(o.opened);
        EXPECT_EQ(o.readable, v == 11 ? 5u : 4u);
        a = corpusBase();
        a.members[1].setHeadSize = true;
        a.members[1].headSize = (uint16_t)v;
        checkOutcome(openInMemory(a.build()), "head" + at);
        a = corpusBase();
        a.setMainHeadSize = true;
        a.mainHeadSize = (uint16_t)v;
        checkOutcome(openInMemory(a.build()), "main" + at);
        // A long block with an absurd ADD_SIZE.
        a = corpusBase();
        MagMember blk;
        blk.raw = {0, 0, 0x77, 0x00, 0x80, 11, 0, (uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
        a.members.insert(a.members.begin() + 1, blk);
        checkOutcome(openInMemory(a.build()), "add" + at);
        // A name size past the header: NAME_SIZE lies at offset 26 of the file header, which starts at 20.
        MagArchive one;
        one.members.push_back(magFile("n.txt", "x"));
        one.members[0].extra.assign(16, 'q');
        std::vector<uint8_t> b = one.build();
        b[20 + 26] = (uint8_t)v;
        b[20 + 27] = (uint8_t)(v >> 8);
        checkOutcome(openInMemory(b), "name" + at);
    }
}

TEST(ArchiveCorpus, SharedDamagedFixtures)
{
    for (const char *f : {"corrupt-header.rar", "loop1.rar", "loop2.rar", "loop3.rar",
                          "test_read_format_rar_endarc_huge.rar", "test_read_format_rar_newsub_huge.rar",
                          "test_read_format_rar_symlink_huge.rar", "protect-header-seek.rar",
                          "derived_header_truncated.rar", "test_read_format_rar_invalid1.rar",
                          "test_read_format_rar_overflow.rar"}) {
        std::vector<uint8_t> bytes = readFile(fixturePath(std::string("damaged/") + f));
        ASSERT_FALSE(bytes.empty()) << f;
        // The whole file and every truncation of it.
        for (size_t n = 0; n <= bytes.size(); n++)
            checkOutcome(openInMemory(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n)), f);
    }
}

// ---------------------------------------------------------------- magls

struct Listing {
    int status = -1;
    std::vector<std::string> lines;
};

Listing magls(const std::string &archive)
{
    Listing l;
    FILE *p = popen((std::string(M2_BINARY_DIR) + "/magls '" + archive + "' 2>&1").c_str(), "r");
    if (!p)
        return l;
    char line[4096];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        l.lines.push_back(s);
    }
    int rc = pclose(p);
    l.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return l;
}

TEST(Magls, ListsEveryMemberOfRealArchives)
{
    const struct { const char *archive; int status; std::vector<std::string> lines; } cases[] = {
        {"structure/gh-88-empty.rar", 0,
         {"ok           3 76ff8caa bar.txt", "ok           0 00000000 empty.txt", "ok           3 8c736521 foo.txt"}},
        {"v29-lz/test_read_format_rar_compress_normal.rar", 0,
         {"ok       20111 5e05a663 libarchiveaddingtest.html", "ok       20111 5e05a663 testdir/libarchiveaddingtest.html",
          "ok          20 bec8a242 testdir/test.txt", "ok          25 11fcd3f1 testlink"}},
        {"damaged/test_read_format_rar_noeof.rar", 0, {"ok          20 bec8a242 test.txt"}},
        // Comment, access-list and stream sub-blocks marked solid by the tool that made them do not refuse
        // the archive; service blocks such as the recovery record are named as such, not "bad", each on a line.
        {"structure/rar3-comment-plain.rar", 0,
         {"svc         11 75ec50bc cmt (service block, not checked)", "svc         11 106f3f48 cmt (service block, not checked)",
          "svc         11 02da90a6 cmt (service block, not checked)", "ok           0 00000000 file1.txt",
          "ok           0 00000000 file2.txt"}},
        {"structure/dirs_and_extra_headers.rar", 0,
         {"ok           6 e9989805 ?/%2fempty%2e/file7.txt", "ok           6 0796f929 ?/?_2/file5.txt",
          "ok           6 9e9fa893 ?/?_2/file6_?.txt", "ok           6 eef55c1c ?/file3.txt",
          "ok           6 7091c9bf ?/file4_?.txt", "svc        164 93eca45f acl (service block, not checked)",
          "svc        164 b203eb7c acl (service block, not checked)", "svc        164 b203eb7c acl (service block, not checked)",
          "svc        164 b203eb7c acl (service block, not checked)", "svc        164 b203eb7c acl (service block, not checked)",
          "svc        164 b203eb7c acl (service block, not checked)", "svc        164 b203eb7c acl (service block, not checked)",
          "svc        164 b203eb7c acl (service block, not checked)", "svc        244 cbca22b5 acl (service block, not checked)",
          "svc        244 c0c45367 acl (service block, not checked)", "svc        244 c0c45367 acl (service block, not checked)",
          "svc        244 c0c45367 acl (service block, not checked)", "svc        104 ee82dd7b acl (service block, not checked)",
          "ok           6 00fb3d30 file1.txt", "ok           6 99f26c8a file2_?.txt",
          "svc       1036 60e1e4fe rr (service block, not checked)", "svc         17 642e55fc stm (service block, not checked)",
          "svc         17 8f19eeff stm (service block, not checked)", "ok          31 03c9f1ff with_streams.txt"}},
        {"damaged/test_read_format_rar_invalid1.rar", 1, {"bad          3 f007732d test"}}, // data past the end
    };
    for (const auto &c : cases) {
        Listing l = magls(fixturePath(c.archive));
        EXPECT_EQ(l.lines, c.lines) << c.archive;
        EXPECT_EQ(l.status, c.status) << c.archive;
    }
}

TEST(Magls, AWalkCutShortByADamagedHeaderSaysWhereAndFails)
{
    ScopedWorkDir dir;
    MagArchive a;
    a.endBlock = false;
    a.members.push_back(magFile("a.txt", "abc"));
    std::vector<uint8_t> bytes = a.build();
    uint32_t cut = (uint32_t)bytes.size();
    bytes.insert(bytes.end(), {0x12, 0x34, 0x74}); // three bytes of the next header
    ASSERT_TRUE(writeFile("cut.dat", bytes));
    Listing l = magls(dir.path() + "/cut.dat");
    EXPECT_EQ(l.lines, (std::vector<std::string>{"ok           3 352441c2 a.txt",
                                                 "magls: " + dir.path() + "/cut.dat: damaged block header at offset " +
                                                     std::to_string(cut) + ": the listing stops there"}));
    EXPECT_EQ(l.status, 1);
}

// A header damaged inside the walk: what came before it is listed and
// checked, magls says where the walk stopped and ends with 1.
TEST(Magls, AWalkStoppedByADamagedHeaderListsWhatCameBefore)
{
    ScopedWorkDir dir;
    MagArchive a;
    a.endBlock = false;
    a.members.push_back(magFile("a.txt", "abc"));
    const uint32_t at = (uint32_t)a.build().size();
    MagMember wraps;   // a long block whose ADD_SIZE runs past 4 GiB
    wraps.raw = {0, 0, 0x77, 0x00, 0x80, 11, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    const struct { std::string file; MagMember block; std::vector<std::string> lines; uint32_t at; } cases[] = {
        {"wraps.dat", wraps, {"ok           3 352441c2 a.txt"}, at},
        {fixturePath("damaged/derived_header_truncated.rar"), {}, {"ok          15 7728b6fe plain.txt"}, 86},
        {fixturePath("damaged/protect-header-seek.rar"), {}, {}, 46},
    };
    for (const auto &c : cases) {
        if (!c.block.raw.empty()) {
            MagArchive damaged = a;
            damaged.members.push_back(c.block);
            damaged.endBlock = true;
            ASSERT_TRUE(writeFile(c.file, damaged.build()));
        }
        std::vector<std::string> lines = c.lines;
        lines.push_back("magls: " + c.file + ": damaged block header at offset " + std::to_string(c.at) +
                        ": the listing stops there");
        Listing l = magls(c.file);
        EXPECT_EQ(l.lines, lines) << c.file;
        EXPECT_EQ(l.status, 1) << c.file;
    }
}

TEST(Magls, RefusedArchivesExitWithTheContainersError)
{
    for (const char *f : {"locked/testfile.rar3.locked.rar",
                          "multivolume/stored-3vol/test_rar_multivolume_single_file.part1.rar",
                          "header-encrypted/hp_rar4_store.rar", "encrypted/enc_rar4_store.rar",
                          "solid/solid_lz_2files.rar", "v29-lz/method36.rar",
                          "damaged/test_read_format_rar_overflow.rar"}) {
        Listing l = magls(fixturePath(f));
        EXPECT_EQ(l.status, 2) << f;
        ASSERT_EQ(l.lines.size(), 1u) << f;
        EXPECT_NE(l.lines[0].find("Error in *.dat file"), std::string::npos) << l.lines[0];
    }
    EXPECT_EQ(magls("/nonexistent/none.dat").status, 2);
}

TEST(Magls, ListsWhatMkmagPacked)
{
    ScopedWorkDir dir;
    ASSERT_EQ(system("mkdir -p in/Sub && printf 'abc' > in/Sub/A.TXT && printf '' > in/e.bin"), 0);
    for (const char *flag : {"", "--scramble "}) {
        std::string cmd = std::string(M2_BINARY_DIR) + "/mkmag " + flag + "out.dat in > /dev/null";
        ASSERT_EQ(system(cmd.c_str()), 0);
        Listing l = magls(dir.path() + "/out.dat");
        EXPECT_EQ(l.lines, (std::vector<std::string>{"ok           0 00000000 e.bin", "ok           3 352441c2 sub/a.txt"}));
        EXPECT_EQ(l.status, 0);
    }
}

} // namespace
