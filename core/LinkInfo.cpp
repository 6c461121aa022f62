// LinkInfo: one "link" tag while its article is laid out.
#include "Link.h"

#include <new>

#include "Commands.h"
#include "Markup.h"
#include "Token.h"

LinkInfo::LinkInfo(Tag &tag, bool inImageMap)
{
    if (inImageMap)
        flags = FLAG_IMAGE_MAP;
    String name;
    if (tag.getLowerString(KW_COMMAND, name)) {
        command = commandId(name.str);
        if (command == CMD_EXTERNAL)
            tag.getString(KW_PARAM, target);
        else
            tag.getLowerString(KW_PARAM, target);
    } else if (tag.getLowerString(KW_ARTICLE, target)) {
        command = CMD_ARTICLE;
    } else if (tag.getString(KW_EXTERNAL, target)) {
        command = CMD_EXTERNAL;
    }
    if (!tag.getString(KW_DESC, description) && command == CMD_EXTERNAL)
        description.set(target.str);
    tag.getLowerString(KW_SOUND, soundName);
    tag.getUnsigned(KW_EFFECT, effect, 0, 1);
    tag.getUnsigned(KW_SONG, song, 0, 32);
    static const struct { uint32_t keyword, flag; } flagWords[] = {
        {KW_U, FLAG_UNDERLINE}, {KW_NU, FLAG_NO_UNDERLINE}, {KW_NS, FLAG_NO_POINTER},
        {KW_NOSOUND, FLAG_NO_SOUND}};
    for (const auto &f : flagWords)
        if (tag.has(f.keyword))
            flags |= f.flag;
    if (tag.has(KW_NOPUSH) && command == CMD_ARTICLE)
        command = CMD_REPLACE;
    if (inImageMap) {
        uint32_t v;
        if (tag.getUnsigned(KW_X, v, 0, 2048)) hotX = (int32_t)v;
        if (tag.getUnsigned(KW_Y, v, 0, 2048)) hotY = (int32_t)v;
        if (tag.getUnsigned(KW_WIDTH, v, 0, 2048)) hotWidth = (int32_t)v;
        if (tag.getUnsigned(KW_HEIGHT, v, 0, 2048)) hotHeight = (int32_t)v;
    }
}

LinkInfo::~LinkInfo()
{
    for (uint32_t i = 0; i < tokenCount; i++)
        if (tokens[i] && tokens[i]->kind == TOKEN_EOL)
            delete tokens[i];
    delete[] tokens;
}

bool LinkInfo::addToken(Token *token)
{
    if (tokenCount == tokenCapacity) {
        // Geometric growth: a link over a long run of text stays linear.
        uint32_t capacity = tokenCapacity ? tokenCapacity * 2 : 8;
        Token **grown = capacity > tokenCapacity ? new (std::nothrow) Token *[capacity] : nullptr;
        if (!grown)
            return false;
        for (uint32_t i = 0; i < tokenCount; i++)
            grown[i] = tokens[i];
        delete[] tokens;
        tokens = grown;
        tokenCapacity = capacity;
    }
    tokens[tokenCount++] = token;
    return true;
}
