#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "MagWriter.h"
#include "TestDirs.h"
#include "TextReader.h"
#include "containr.h"

namespace {

// A magazine directory with a recording System; the container is closed at the end.
struct Magazine {
    ScopedWorkDir dir;
    FakeSystemScope fake;
    FakeSystem &sys = fake.sys;

    Magazine()
    {
        mkdir("temp", 0755);
        mkdir("save", 0755);
    }
    ~Magazine() { g_container.close(); }
    void write(const MagArchive &a, bool scramble = false)
    {
        std::vector<uint8_t> bytes = a.build();
        ASSERT_TRUE(writeFile("mag.dat", scramble ? magScramble(bytes) : bytes));
    }
    bool open() { return g_container.open(); }
    std::string error() const { return sys.errorText ? sys.errorText : ""; }
};

std::string load(const char *name)
{
    File *f = g_container.find(name);
    if (!f)
        return "<missing>";
    uint8_t *bytes = nullptr;
    uint32_t size = 0;
    if (!f->load(bytes, size))
        return "<unreadable>";
    EXPECT_EQ(bytes[size], 0);
    EXPECT_EQ(bytes[size + 1], 0);
    std::string s((const char *)bytes, size);
    delete[] bytes;
    return s;
}

std::string text(const char *path)
{
    std::vector<uint8_t> v = readFile(path);
    return std::string(v.begin(), v.end());
}

std::vector<std::string> names()
{
    std::vector<std::string> out;
    Tree::forEachInOrder(g_container.root, [&out](File *f) { out.push_back(f->name.c_str()); });
    return out;
}

MagArchive sampleMagazine()
{
    MagArchive a;
    a.members = {magFile("CONFIG.TXT", "<parameters>"), magFile("main.txt", "Hello <b>world</b>"),
                 magFile("Sub\\Page.TXT", "page"), magFile("sub/config.txt", "not the configuration"),
                 magDirectory("pics")};
    std::vector<uint8_t> big(5000);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (uint8_t)(i * 7 + 3);
    a.members.push_back(magFile("pics\\Big.JPG", big));
    return a;
}

// A member given sizes (negative: left as they are) and compression.
MagMember sized(MagMember m, int64_t pack, int64_t unp, int head = -1, uint8_t method = 0x30)
{
    m.setPackSize = pack >= 0;
    m.packSize = (uint32_t)pack;
    m.setUnpSize = unp >= 0;
    m.unpSize = (uint32_t)unp;
    m.setHeadSize = head >= 0;
    m.headSize = (uint16_t)head;
    if (method != 0x30) {
        m.method = method;
        m.unpVer = 29;
    }
    return m;
}

MagMember rawBlock(std::vector<uint8_t> bytes)
{
    MagMember m;
    m.raw = std::move(bytes);
    return m;
}

MagMember subBlock(MagMember m, uint16_t flags = 0x8000)
{
    m.headType = 0x7A;
    m.flags = flags;
    return m;
}

// Builds the archive and tells whether it opens.
bool opensWith(const MagArchive &a, std::string *error = nullptr)
{
    Magazine m;
    m.write(a);
    bool ok = m.open();
    if (error)
        *error = m.error();
    return ok;
}

// The sample archive with `first` as its first block.
bool opensWithFirst(const MagMember &first)
{
    MagArchive a = sampleMagazine();
    a.members.insert(a.members.begin(), first);
    return opensWith(a);
}

// The sample archive as it is, scrambled, and with an unknown long block, an old-style comment block, an
// old-style recovery record with its data and an old-style directory in front and no end block.
TEST(Container, OpensPlainScrambledAndOldStyleArchivesAndBuildsTheTree)
{
    for (int variant = 0; variant < 3; variant++) {
        Magazine m;
        MagArchive a = sampleMagazine();
        if (variant == 2) {
            a.endBlock = false;
            MagMember oldDir = magFile("olddir", "");
            oldDir.unpVer = 15;
            oldDir.attr = 0x10; // a directory by its attributes
            a.members.insert(a.members.begin(),
                             {rawBlock({0, 0, 0x77, 0x00, 0x80, 11, 0, 3, 0, 0, 0, 'a', 'b', 'c'}),
                              rawBlock({0, 0, 0x75, 0, 0, 9, 0, 'h', 'i'}),
                              rawBlock({0, 0, 0x78, 0x00, 0x80, 11, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                              oldDir});
        }
        m.write(a, variant == 1);
        ASSERT_TRUE(m.open()) << m.error();
        EXPECT_EQ(container_variant, variant == 1 ? 1 : 0);
        std::vector<std::string> want = {"?edit.txt",      "config.txt",    "main.txt", "pics/big.jpg",
                                         "sub/config.txt", "sub/page.txt"};
        EXPECT_EQ(names(), want) << variant;
        EXPECT_EQ(load("main.txt"), "Hello <b>world</b>");
        EXPECT_EQ(load("SUB\\page.txt"), "<missing>"); // lookups are exact in case
        EXPECT_EQ(load("sub\\page.txt"), "page");
        std::string big = load("pics/big.jpg");
        ASSERT_EQ(big.size(), 5000u);
        EXPECT_EQ((uint8_t)big[4999], (uint8_t)(4999 * 7 + 3));
        File *f = g_container.find("pics/big.jpg");
        EXPECT_EQ(g_container.lastFound, f);
        EXPECT_TRUE(f->fileType == FILE_JPEG && f->stored && !f->loose);
        // main.txt, sub/config.txt, sub/page.txt and the loose ?edit.txt; not config.txt.
        EXPECT_EQ(g_container.articleCount, 4u);
        // Text readers by member name; a missing member gives an empty reader.
        String line;
        TextReader missing("nothing.txt"), page("sub/page.txt");
        EXPECT_FALSE(missing.ownsBuffer || missing.readLine(line));
        EXPECT_TRUE(page.readLine(line) && strcmp(line.c_str(), "page") == 0);
        // Without a visited list nothing is marked: closing writes an empty one.
        g_container.close();
        EXPECT_TRUE(readFile("temp/visited.txt").empty());
    }
}

TEST(Container, StartUpErrors)
{
    const struct { const char *file, *bytes, *error; } cases[] = {
        {nullptr, "", "No *.dat file"},
        {"junk.DAT", "Rar!\x1a\x07\x01 not an archive", "Error in *.dat file"},
        {"empty.dat", "", "Error in *.dat file"},
    };
    for (const auto &c : cases) {
        Magazine m;
        ASSERT_TRUE(!c.file || writeFile(c.file, std::string(c.bytes)));
        EXPECT_FALSE(m.open());
        EXPECT_EQ(m.error(), c.error);
        EXPECT_EQ(g_container.root, nullptr);
        EXPECT_TRUE(!c.file || m.sys.calls.back() == "close_file") << c.file; // the refused archive is closed again
    }
}

TEST(Container, RefusesLockedMultiVolumeEncryptedAndBadMembers)
{
    struct Case {
        uint16_t mainFlags, flags;
        uint8_t version, method;
        bool opens;
    } cases[] = {
        {0x01, 0x8000, 20, 0x30, false}, // a volume
        {0x04, 0x8000, 20, 0x30, false}, // locked
        {0x80, 0x8000, 20, 0x30, false}, // encrypted headers
        {0x7A, 0x8000, 20, 0x30, true},  // comment, solid archive, authenticity, ...
        {0, 0x8001, 20, 0x30, false},    // member continued from the previous volume
        {0, 0x8002, 20, 0x30, false},    // continued in the next volume
        {0, 0x8004, 20, 0x30, false},    // encrypted
        {0, 0x8010, 20, 0x30, false},    // solid
        {0, 0x8000, 12, 0x33, false},    // compressed, version too old
        {0, 0x8000, 30, 0x33, false},    // compressed, version too new
        {0, 0x8000, 36, 0x33, false}, {0, 0x8000, 13, 0x33, true}, {0, 0x8000, 29, 0x35, true},
        {0, 0x8000, 36, 0x30, true},     // stored members may have any version
        {0, 0x8000, 0, 0x30, true},
        {0, 0x80E0, 99, 0x33, true},     // a directory is skipped whatever its version
    };
    for (const Case &c : cases) {
        MagArchive a = sampleMagazine();
        a.mainFlags = c.mainFlags;
        MagMember m = magFile("extra.txt", "x");
        m.flags = c.flags;
        m.unpVer = c.version;
        m.method = c.method;
        a.members.push_back(m);
        std::string error;
        EXPECT_EQ(opensWith(a, &error), c.opens) << std::hex << c.mainFlags << " " << c.flags << std::dec << " "
                                                 << (int)c.version;
        EXPECT_EQ(error, c.opens ? "" : "Error in *.dat file");
    }
    // The main header of another archive (bytes 7..19) as a block of its own; an encrypted sub-block.
    std::vector<uint8_t> inner = MagArchive().build();
    EXPECT_FALSE(opensWithFirst(rawBlock(std::vector<uint8_t>(inner.begin() + 7, inner.begin() + 20))));
    EXPECT_FALSE(opensWithFirst(subBlock(magFile("CMT", "comment"), 0x8004)));
}

TEST(Container, DamagedBlockWalkIsRefusedNotLooped)
{
    const struct { const char *what; MagMember first; } cases[] = {
        {"header size below the base header: the walk would not move on", rawBlock({0, 0, 0x75, 0, 0, 0, 0})},
        {"file header shorter than its fixed fields and name", sized(magFile("short.txt", "abc"), -1, -1, 20)},
        {"sub-block data size would be negative: refused without allocating",
         subBlock(sized(magFile("CMT", ""), -1, -1, 33))}, // less than 32 + the name
        {"long block ADD_SIZE wraps the position past 4 GiB",
         rawBlock({0, 0, 0x77, 0x00, 0x80, 11, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"PACK_SIZE wraps the position", sized(magFile("wrap.txt", "abc"), 0xFFFFFFF0u, -1)},
    };
    for (const auto &c : cases)
        EXPECT_FALSE(opensWithFirst(c.first)) << c.what;
}

TEST(Container, LoadRefusesInconsistentSizes)
{
    Magazine m;
    MagArchive a;
    a.members = {
        sized(magFile("mismatch.txt", "abcdef"), -1, 0xFFFFFFFEu), // once made a 32-bit size + 2 wrap to 0
        sized(magFile("small.txt", "abcdef"), -1, 3),
        sized(magFile("huge.txt", "abcdef"), -1, 0x40000001u, -1, 0x33), // above 1 GiB
        sized(magFile("packed.txt", "not really compressed"), -1, -1, -1, 0x33),
        magFile("empty.txt", ""),
        // Its data runs past the end: the archive ends there.
        sized(magFile("zlast.txt", "abc"), 0x10000000u, 0x10000000u),
    };
    m.write(a);
    // A file on disk of the empty member's name must not be read in its place.
    ASSERT_TRUE(writeFile("empty.txt", std::string("from disk")));
    ASSERT_TRUE(m.open()) << m.error();
    // Damaged compressed data fails its check.
    for (const char *name : {"mismatch.txt", "small.txt", "huge.txt", "packed.txt", "zlast.txt"})
        EXPECT_EQ(load(name), "<unreadable>") << name;
    EXPECT_FALSE(g_container.find("empty.txt")->loose);
    EXPECT_EQ(load("empty.txt"), "");
}

TEST(Container, LooseMediaFilesAreAddedAndOpenedByTheirNameOnDisk)
{
    Magazine m;
    m.write(sampleMagazine());
    for (auto f : {std::make_pair("Theme.OGG", "ogg bytes"), std::make_pair("click.wav", "wav"),
                   std::make_pair("notes.txt", "not taken"), std::make_pair("empty.mod", "")})
        ASSERT_TRUE(writeFile(f.first, std::string(f.second)));
    ASSERT_TRUE(m.open());
    File *song = g_container.find("theme.ogg");
    ASSERT_NE(song, nullptr);
    EXPECT_TRUE(song->loose && song->fileType == FILE_OGG);
    EXPECT_EQ(load("theme.ogg"), "ogg bytes");
    EXPECT_EQ(g_container.find("notes.txt"), nullptr);
    EXPECT_EQ(load("empty.mod"), "<unreadable>"); // a loose file of size 0
    EXPECT_TRUE(song->playSong(1));
    EXPECT_TRUE(m.sys.called("play_song_file Theme.OGG 1"));
    EXPECT_TRUE(g_container.find("?edit.txt")->loose);
    EXPECT_EQ(load("?edit.txt"), "<unreadable>");
    // The user's article is a loose text file counted as an article.
    ASSERT_TRUE(writeFile("My.Article", std::string("user text")));
    uint32_t before = g_container.articleCount;
    File *user = g_container.addUserArticle("My.Article");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(std::make_pair((uint32_t)FILE_TEXT, before + 1), std::make_pair(user->fileType, g_container.articleCount));
    EXPECT_EQ(load("My.Article"), "user text");
}

TEST(Container, OfALooseFileAndAMemberOfOneNameTheBalancedTreeMeetsOneFirst)
{
    // In order: ?edit.txt, a.txt, the member song.ogg, the loose one, then the
    // members named: the root is entry n / 2, so 5 names give the member, 6 the loose file.
    for (auto [after, found] : {std::pair{std::vector<const char *>{"x.txt"}, "packed"}, {{"x.txt", "y.txt"}, "loose"}}) {
        Magazine m;
        MagArchive a;
        a.members = {magFile("a.txt", "a"), magFile("Song.ogg", "packed")};
        for (const char *name : after)
            a.members.push_back(magFile(name, name));
        m.write(a);
        ASSERT_TRUE(writeFile("song.ogg", std::string("loose")) && m.open());
        // The user's article of that name, inserted after the balance, changes nothing.
        ASSERT_TRUE(g_container.addUserArticle("song.ogg"));
        EXPECT_EQ(load("song.ogg"), found);
    }
}

TEST(Container, FontsAreCopiedToTempTruncatedAndInstalled)
{
    MagArchive a = sampleMagazine();
    a.members.push_back(sized(magFile("fonts\\Broken.ttf", "xx"), -1, 5)); // unreadable
    a.members.push_back(magFile("fonts\\Nice.ttf", "TTF-DATA"));
    a.members.push_back(magFile("z.ttf", "ZZ"));
    for (int run = 0; run < 2; run++) {
        Magazine m;
        m.write(a);
        ASSERT_TRUE(run == 0 || writeFile("temp/nice.ttf", std::string("an old and longer copy")));
        ASSERT_TRUE(m.open());
        EXPECT_EQ(text("temp/nice.ttf"), "TTF-DATA");
        // A scratch copy: the platform neither syncs it nor rewrites the same bytes.
        EXPECT_TRUE(m.sys.called("create_file nice.ttf " + std::to_string(FILE_IN_TEMP | FILE_TRUNCATE | FILE_SCRATCH)));
        EXPECT_TRUE(m.sys.called("install_font nice.ttf 2"));
        EXPECT_TRUE(m.sys.called("install_font z.ttf 2"));
        EXPECT_FALSE(m.sys.called("install_font broken.ttf"));
    }
}

// The fonts share one buffer: each copy holds its own bytes whatever the
// sizes of the fonts read before it.
TEST(Container, EachFontCopyHoldsItsOwnBytes)
{
    const std::vector<std::pair<const char *, std::string>> fonts = {
        {"a.ttf", std::string(3000, 'a')}, {"b.ttf", "bb"}, {"c.ttf", std::string(9000, 'c')},
        {"d.ttf", std::string(500, 'd')}, {"e.ttf", ""}};
    MagArchive a = sampleMagazine();
    for (const auto &font : fonts)
        a.members.push_back(magFile(font.first, font.second));
    Magazine m;
    m.write(a);
    ASSERT_TRUE(m.open());
    for (const auto &font : fonts) {
        EXPECT_EQ(text((std::string("temp/") + font.first).c_str()), font.second) << font.first;
    }
}

TEST(Container, VisitedListRoundTripsByteForByte)
{
    Magazine m;
    m.write(sampleMagazine());
    ASSERT_TRUE(writeFile("temp/visited.txt",
                          std::string("  Sub\\Page.TXT\r\n\n\nnot-in-archive.txt\rmain.txt\npics/big.jpg")));
    ASSERT_TRUE(m.open());
    g_container.close();
    std::string first = text("temp/visited.txt");
    EXPECT_EQ(first, "main.txt\r\npics/big.jpg\r\nsub/page.txt\r\n");
    ASSERT_TRUE(m.open());
    g_container.close();
    EXPECT_EQ(text("temp/visited.txt"), first);
}

TEST(Container, ManySortedMembersNeedNoDeepRecursion)
{
    Magazine m;
    MagArchive a;
    char name[32];
    for (int i = 0; i < 8000; i++) {
        snprintf(name, sizeof name, "a%05d.txt", i);
        a.members.push_back(magFile(name, ""));
    }
    m.write(a);
    ASSERT_TRUE(m.open());
    EXPECT_EQ(g_container.articleCount, 8001u);
    EXPECT_EQ(load("a07999.txt"), "");
    g_container.find("a01234.txt")->visited = true;
    g_container.close();
    EXPECT_EQ(text("temp/visited.txt"), "a01234.txt\r\n");
}

TEST(Container, SoundsFromWavMembers)
{
    Magazine m;
    MagArchive a;
    std::vector<uint8_t> wav(44 + 8, 0);
    memcpy(wav.data(), "RIFF", 4);
    wav[22] = 2;                    // stereo
    wav[24] = 0x44; wav[25] = 0xAC; // 44100
    wav[34] = 16;                   // 16 bits
    wav[40] = 0xFF; wav[41] = 0xFF; // claims 65535 bytes of data
    a.members = {magFile("long.wav", wav), magFile("short.wav", std::vector<uint8_t>(43, 1)), magFile("text.txt", "x")};
    m.write(a);
    ASSERT_TRUE(m.open());
    File *f = g_container.find("long.wav");
    SampleHandle s = f->getSound();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(m.sys.called("load_sound 8 44100 3")); // clamped to the bytes present
    EXPECT_EQ(f->getSound(), s);
    EXPECT_EQ(g_container.find("short.wav")->getSound(), nullptr);
    EXPECT_EQ(g_container.find("text.txt")->getSound(), nullptr);
    EXPECT_EQ(m.sys.count("load_sound"), 1u);
    g_container.close();
    EXPECT_TRUE(m.sys.called("unload_sound"));
}

TEST(FileTypes, ByExtension)
{
    const std::pair<const char *, uint32_t> cases[] = {
        {"Pic.JPG", FILE_JPEG}, {"x.jpeg", FILE_OTHER}, {"readme", FILE_OTHER}, {"a.b.ogg", FILE_OGG},
        {"song.xm", FILE_XM}, {"a.s3m", FILE_S3M}, {".txt", FILE_TEXT}, {"dir.txt/x", FILE_OTHER},
        {"", FILE_OTHER}, {nullptr, FILE_OTHER}};
    for (const auto &c : cases)
        EXPECT_EQ(fileTypeFromName(c.first), c.second) << (c.first ? c.first : "null");
}

TEST(TextReader, LinesOfEveryEnding)
{
    const struct { std::string text; std::vector<std::string> lines; } cases[] = {
        {"\r\n  first line  \r\nsecond\tpart\rthird\n\n\n last", {"first line  ", "second part", "third", "last"}},
        {"\r\n \n", {}},
    };
    for (const auto &c : cases) {
        TextReader r;
        uint8_t *data = new uint8_t[c.text.size()];
        memcpy(data, c.text.data(), c.text.size());
        r.adopt(data, (uint32_t)c.text.size());
        String line;
        std::vector<std::string> lines;
        while (r.readLine(line))
            lines.push_back(line.c_str());
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(Container, CompressedMembersAreDecodedAndDamagedOnesUnreadable)
{
    // Each member's size and check sum, or "<unreadable>".
    const struct { const char *fixture; std::vector<std::pair<const char *, std::string>> members; } cases[] = {
        {"v29-lz/test_read_format_rar_compress_normal.rar",
         {{"testdir\\test.txt", "20 bec8a242"}, {"libarchiveaddingtest.html", "20111 5e05a663"}}},
        {"damaged/derived_lz_byteflip.rar",
         {{"libarchiveaddingtest.html", "<unreadable>"}, {"testdir/libarchiveaddingtest.html", "20111 5e05a663"},
          {"testlink", "25 11fcd3f1"}}},
    };
    for (const auto &c : cases) {
        Magazine m;
        std::vector<uint8_t> bytes = readFile(fixturePath(c.fixture));
        ASSERT_TRUE(!bytes.empty() && writeFile("mag.dat", bytes)) << c.fixture;
        ASSERT_TRUE(m.open()) << m.error();
        EXPECT_FALSE(g_container.find("libarchiveaddingtest.html")->stored);
        for (const auto &member : c.members) {
            std::string got = load(member.first);
            char sum[32];
            snprintf(sum, sizeof sum, "%zu %08x", got.size(), (unsigned)magCrc32(got.data(), got.size()));
            EXPECT_EQ(got == "<unreadable>" ? got : sum, member.second) << c.fixture << " " << member.first;
        }
    }
    // Straight to the decoder with a size above the limit: refused before any work.
    uint8_t out[4];
    EXPECT_FALSE(unpackMemberData(out, 4, out, 0x40000001u, 29, 0));
}

} // namespace
