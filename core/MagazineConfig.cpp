#include "MagazineConfig.h"

#include "File.h"
#include "FontStyle.h"
#include "ImageList.h"
#include "Markup.h"
#include "Playlist.h"
#include "Scheme.h"
#include "System.h"
#include "Theme.h"
#include "containr.h"

MagazineConfig g_magazine_config;

MagazineConfig::~MagazineConfig()
{
    deleteTrees();
}

void MagazineConfig::deleteTrees()
{
    delete schemes;
    schemes = nullptr;
    delete themes;
    themes = nullptr;
    delete imageLists;
    imageLists = nullptr;
    delete fontStyles;
    fontStyles = nullptr;
    currentImageList = nullptr;
    currentScheme = nullptr;
    currentTheme = nullptr;
}

void MagazineConfig::reset()
{
    deleteTrees();
    state = TOP_LEVEL;
    width = 640;
    height = 480;
    fading = 1024;
    immsong = 0;
    for (int i = 0; i < USER_FLAG_COUNT; i++)
        userFlags[i] = (uint32_t)g_system->get_user_flag(USER_FLAG_FIRST + i);
    startArticle.set("main.txt");
    helpArticle.set("help.txt");
    openingList.set("open.jpg");
    closingList.set("close.jpg");
    userArticle.set(g_system->get_user_string(USER_STRING_ARTICLE));
    userSong.set(g_system->get_user_string(USER_STRING_SONG));
    g_markupSwapRB = userFlag(USER_FLAG_SWAP_RB) != 0;
    // Song slot 0 is the user's own song file, always looped.
    g_playlist.setSong(0, userSong.str, true, false);

    // "?default" resolves in every magazine: a style from a tag without
    // attributes.
    Tag empty;
    empty.id = KW_FONTSTYLE;
    fontStyles = new FontStyle("?default", empty);
}

bool MagazineConfig::load()
{
    reset();
    g_system->set_error_message("Cannot load configuration");
    File *file = g_container.find("config.txt");
    uint8_t *data = nullptr;
    uint32_t size = 0;
    if (!file || !file->load(data, size))
        return false;
    g_system->set_error_message(nullptr);
    parse(data, size);
    delete[] data;
    addUserArticle();
    return true;
}

void MagazineConfig::parse(const uint8_t *text, size_t size)
{
    state = TOP_LEVEL;
    g_markupSwapRB = userFlag(USER_FLAG_SWAP_RB) != 0;
    MarkupLexer lexer;
    lexer.init(text, size);
    for (;;) {
        MarkupToken token = lexer.next();
        if (token == MARKUP_END)
            break;
        if (token != MARKUP_TAG)
            continue;
        Tag *tag = lexer.parseTag();
        if (!tag)
            continue;
        handleDirective(*tag);
        delete tag;
    }
    currentImageList = nullptr;
    currentScheme = nullptr;
    currentTheme = nullptr;
    fontStyles = static_cast<FontStyle *>(Tree::balance(fontStyles));
    imageLists = static_cast<ImageList *>(Tree::balance(imageLists));
    themes = static_cast<Theme *>(Tree::balance(themes));
    schemes = static_cast<Scheme *>(Tree::balance(schemes));
}

// The lower-cased value of a required name attribute; false when it is
// missing or empty.
static bool requiredName(Tag &tag, unsigned id, String &out)
{
    return tag.getLowerString(id, out) && !out.isEmpty();
}

template <class T>
static void insertNode(T *&root, T *node)
{
    Tree *r = root;
    Tree::insertInto(r, node);
    root = static_cast<T *>(r);
}

void MagazineConfig::handleDirective(Tag &tag)
{
    switch (state) {
    case IN_IMAGELIST:
        if (tag.id == KW_IMAGELIST_END) {
            state = TOP_LEVEL;
        } else if (tag.id == KW_IMAGE && currentImageList) {
            String file;
            if (requiredName(tag, KW_FILE, file)) {
                uint32_t time = 7000;
                tag.getUnsigned(KW_TIME, time, 0, 60000);
                currentImageList->append(file.str, time);
            }
        }
        return;
    case IN_THEME:
        if (tag.id == KW_THEME_END)
            state = TOP_LEVEL;
        else if (currentTheme)
            currentTheme->handleTag(tag);
        return;
    case IN_SCHEME:
        if (tag.id == KW_SCHEME_END)
            state = TOP_LEVEL;
        else if (currentScheme)
            currentScheme->handleTag(tag);
        return;
    default:
        break;
    }

    String name;
    uint32_t v;
    switch (tag.id) {
    case KW_PARAMETERS:
        if (tag.getLowerString(KW_MAIN, name) && !name.isEmpty())
            startArticle.take(name);
        if (tag.getLowerString(KW_HELP, name) && !name.isEmpty())
            helpArticle.take(name);
        if (tag.getUnsigned(KW_WIDTH, v, 320, 2048))
            width = v;
        if (tag.getUnsigned(KW_HEIGHT, v, 200, 2048))
            height = v;
        if (tag.getLowerString(KW_OPEN, name) && !name.isEmpty())
            openingList.take(name);
        if (tag.getLowerString(KW_CLOSE, name) && !name.isEmpty())
            closingList.take(name);
        if (tag.getUnsigned(KW_FADING, v, 0, 10000))
            fading = v;
        immsong = tag.has(KW_IMMSONG) ? 1 : 0;
        break;
    case KW_HOTSPOT:
        if (requiredName(tag, KW_CURSOR, name)) {
            if (tag.getUnsigned(KW_X, v, 0, 1024)) {
                File *file = g_container.find(name.str);
                if (file)
                    file->hotspotX = v;
            }
            if (tag.getUnsigned(KW_Y, v, 0, 1024)) {
                File *file = g_container.find(name.str);
                if (file)
                    file->hotspotY = v;
            }
        }
        break;
    case KW_FONTSTYLE:
        if (requiredName(tag, KW_NAME, name))
            insertNode(fontStyles, new FontStyle(name.str, tag));
        break;
    case KW_IMAGELIST:
        if (requiredName(tag, KW_NAME, name)) {
            int32_t song = -1;
            if (tag.getUnsigned(KW_SONG, v, 0, 9))
                song = (int32_t)v;
            currentImageList = new ImageList(name.str, song);
            insertNode(imageLists, currentImageList);
            state = IN_IMAGELIST;
        }
        break;
    case KW_SCHEME:
        if (requiredName(tag, KW_NAME, name)) {
            currentScheme = new Scheme(name.str, tag);
            insertNode(schemes, currentScheme);
            state = IN_SCHEME;
        }
        break;
    case KW_THEME:
        if (requiredName(tag, KW_NAME, name)) {
            currentTheme = new Theme(name.str, tag);
            insertNode(themes, currentTheme);
            state = IN_THEME;
        }
        break;
    default:
        break;
    }
}

void MagazineConfig::addUserArticle()
{
    if (userArticle.isEmpty())
        return;
    if (g_container.addUserArticle(userArticle.str))
        startArticle.set(userArticle.str);
}
