#include "Scheme.h"

#include "MagazineConfig.h"
#include "Markup.h"
#include "containr.h"

uint32_t Scheme::backgroundIndex = 1;
uint32_t Scheme::songIndex = 1;

const char *defaultMagazineTitle()
{
    return container_variant == 1 ? "Mirandol 2 Magazine" : "Mirandol 2";
}

Scheme::Scheme(const char *schemeName, Tag &tag)
{
    name.set(schemeName);
    title.set(defaultMagazineTitle());
    fontStyle.set("?default");
    align.set("j");
    header.set("header.htm");
    footer.set("footer.htm");
    String parent;
    if (tag.getLowerString(KW_INHERIT, parent))
        inherit(parent.str);
    backgroundIndex = 1;
    songIndex = 1;
}

Scheme::~Scheme() {}

void Scheme::inherit(const char *schemeName)
{
    Scheme *from = static_cast<Scheme *>(Tree::findWhileFilling(g_magazine_config.schemes, schemeName));
    if (!from || from == this)
        return;
    for (int i = 0; i < BACKGROUND_SLOTS; i++)
        backgrounds[i].set(from->backgrounds[i].str);
    for (int i = 0; i < SONG_SLOTS; i++)
        songs[i].set(from->songs[i].str);
    title.set(from->title.str);
    fontStyle.set(from->fontStyle.str);
    align.set(from->align.str);
    header.set(from->header.str);
    footer.set(from->footer.str);
    loopMask = from->loopMask;
    pageWidth = from->pageWidth;
    columns = from->columns;
    columnSpacing = from->columnSpacing;
    scrollLine = from->scrollLine;
    scrollPage = from->scrollPage;
    scrollSpeed = from->scrollSpeed;
    edgeDelay = from->edgeDelay;
    paragraphSpacing = from->paragraphSpacing;
    firstLineIndent = from->firstLineIndent;
    autoscroll = from->autoscroll;
    ruleColour = from->ruleColour;
    linkColour = from->linkColour;
    selectedLinkColour = from->selectedLinkColour;
    visitedLinkColour = from->visitedLinkColour;
    // noloopMask, scrollTolerance and linkTolerance keep their defaults.
}

// Replaces target with the lower-cased value when the attribute has one.
static void lowerInto(Tag &tag, unsigned id, String &target)
{
    String value;
    if (tag.getLowerString(id, value) && !value.isEmpty())
        target.take(value);
}

static void unsignedInto(Tag &tag, unsigned id, uint32_t &target, uint32_t min, uint32_t max)
{
    uint32_t v;
    if (tag.getUnsigned(id, v, min, max))
        target = v;
}

static void colourInto(Tag &tag, unsigned id, uint32_t &target)
{
    uint32_t v;
    if (tag.getColour(id, v))
        target = v;
}

void Scheme::handleTag(Tag &tag)
{
    switch (tag.id) {
    case KW_WINDOW: {
        String value;
        if (tag.getString(KW_TITLE, value) && !value.isEmpty())
            title.take(value);
        break;
    }
    case KW_FONT:
        lowerInto(tag, KW_STYLE, fontStyle);
        break;
    case KW_P: {
        int32_t indent;
        if (tag.getSigned(KW_FL, indent, -2048, 2048))
            firstLineIndent = indent;
        if (tag.has(KW_SPACING))
            unsignedInto(tag, KW_SPACING, paragraphSpacing, 0, 2048);
        else
            unsignedInto(tag, KW_SP, paragraphSpacing, 0, 2048);
        lowerInto(tag, KW_ALIGN, align);
        break;
    }
    case KW_HTML:
        lowerInto(tag, KW_HEADER, header);
        lowerInto(tag, KW_FOOTER, footer);
        break;
    case KW_PAGE:
        unsignedInto(tag, KW_WIDTH, pageWidth, 1, 2048);
        unsignedInto(tag, KW_COLUMNS, columns, 0, 10);
        unsignedInto(tag, KW_COLSPACING, columnSpacing, 0, 100);
        break;
    case KW_SCROLL:
        unsignedInto(tag, KW_LINE, scrollLine, 1, 2048);
        unsignedInto(tag, KW_PAGE, scrollPage, 1, 2048);
        unsignedInto(tag, KW_SPEED, scrollSpeed, 0, 10000);
        unsignedInto(tag, KW_TOLERANCE, scrollTolerance, 1, 100);
        unsignedInto(tag, KW_EDGEDELAY, edgeDelay, 0, 10000);
        autoscroll = tag.has(KW_AUTOSCROLL) ? 1 : 0;
        break;
    case KW_LINK:
        colourInto(tag, KW_COLOR, linkColour);
        colourInto(tag, KW_SELCOLOR, selectedLinkColour);
        colourInto(tag, KW_VISCOLOR, visitedLinkColour);
        unsignedInto(tag, KW_TOLERANCE, linkTolerance, 1, 200);
        break;
    case KW_HR:
        colourInto(tag, KW_COLOR, ruleColour);
        break;
    case KW_BACKGROUND: {
        unsignedInto(tag, KW_ID, backgroundIndex, 1, 9);
        if (backgroundIndex < 1 || backgroundIndex > 9)
            backgroundIndex = 9;
        lowerInto(tag, KW_THEME, backgrounds[backgroundIndex]);
        if (backgroundIndex < 9)
            backgroundIndex++;
        break;
    }
    case KW_SONG: {
        unsignedInto(tag, KW_ID, songIndex, 1, 31);
        if (songIndex < 1 || songIndex > 31)
            songIndex = 31;
        lowerInto(tag, KW_FILE, songs[songIndex]);
        uint32_t bit = 1u << songIndex;
        if (tag.has(KW_LOOP))
            loopMask |= bit;
        else
            loopMask &= ~bit;
        if (tag.has(KW_NOLOOP))
            noloopMask |= bit;
        else
            noloopMask &= ~bit;
        if (songIndex < 31)
            songIndex++;
        break;
    }
    default:
        break;
    }
}

uint32_t Scheme::columnWidth(uint32_t pageWidth, uint32_t columns, uint32_t columnSpacing)
{
    if (columns <= 1)
        return pageWidth;
    uint64_t gaps = (uint64_t)columnSpacing * (columns - 1);
    if (gaps >= pageWidth)
        return 0;
    return (uint32_t)((pageWidth - gaps) / columns);
}

uint32_t Scheme::columnWidth() const
{
    return columnWidth(pageWidth, columns, columnSpacing);
}
