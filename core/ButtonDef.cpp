#include "ButtonDef.h"
#include "Lists.h"

#include "Commands.h"
#include "Markup.h"

void AreaPlacement::copyFrom(const AreaPlacement &other)
{
    x = other.x;
    y = other.y;
    width = other.width;
    height = other.height;
    name.set(other.name.str);
}

void AreaPlacement::read(Tag &tag, int nameId, bool lowerName)
{
    uint32_t v;
    if (tag.getUnsigned(KW_X, v, 0, 2048))
        x = (int32_t)v;
    if (tag.getUnsigned(KW_Y, v, 0, 2048))
        y = (int32_t)v;
    if (tag.getUnsigned(KW_WIDTH, v, 1, 2048))
        width = (int32_t)v;
    if (tag.getUnsigned(KW_HEIGHT, v, 1, 2048))
        height = (int32_t)v;
    if (nameId >= 0) {
        String value;
        bool got = lowerName ? tag.getLowerString((unsigned)nameId, value)
                             : tag.getString((unsigned)nameId, value);
        if (got && !value.isEmpty())
            name.take(value);
    }
}

static void lowerInto(Tag &tag, unsigned id, String &target)
{
    String value;
    if (tag.getLowerString(id, value) && !value.isEmpty())
        target.take(value);
}

unsigned ButtonDef::live = 0;

ButtonDef::ButtonDef(Tag &tag, ButtonDef *list) : next(list)
{
    live++;
    placement.name.clear();
    placement.read(tag, -1, true);
    lowerInto(tag, KW_NORMAL, normal);
    lowerInto(tag, KW_SELECTED, selected);
    lowerInto(tag, KW_PRESSED, pressed);
    String commandName;
    tag.getLowerString(KW_COMMAND, commandName);
    command = commandId(commandName.str);
    String value;
    if (command == CMD_EXTERNAL ? tag.getString(KW_PARAM, value) : tag.getLowerString(KW_PARAM, value))
        param.take(value);
    if (tag.getString(KW_DESC, value))
        desc.take(value);
    uint32_t v;
    if (tag.getUnsigned(KW_EFFECT, v, 0, 1))
        effect = (int32_t)v;
    if (tag.getUnsigned(KW_SONG, v, 0, 9))
        song = (int32_t)v;
    lowerInto(tag, KW_SOUNDDOWN, sounddown);
    lowerInto(tag, KW_SOUNDUP, soundup);
}

ButtonDef::~ButtonDef()
{
    live--;
    // Unlink the rest first and free it node by node, so that a theme with
    // a very long button list does not recurse once per button.
    deleteChain(next);
}

ButtonDef *ButtonDef::clone(const ButtonDef *list)
{
    ButtonDef *head = nullptr;
    ButtonDef **tail = &head;
    for (const ButtonDef *from = list; from; from = from->next) {
        ButtonDef *copy = new ButtonDef();
        copy->placement.copyFrom(from->placement);
        copy->normal.set(from->normal.str);
        copy->selected.set(from->selected.str);
        copy->pressed.set(from->pressed.str);
        copy->param.set(from->param.str);
        copy->desc.set(from->desc.str);
        copy->sounddown.set(from->sounddown.str);
        copy->soundup.set(from->soundup.str);
        copy->command = from->command;
        copy->effect = from->effect;
        copy->song = from->song;
        *tail = copy;
        tail = &copy->next;
    }
    return head;
}

unsigned ButtonDef::count(const ButtonDef *list)
{
    unsigned n = 0;
    for (; list; list = list->next)
        n++;
    return n;
}
