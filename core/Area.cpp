#include "Area.h"

Area::~Area()
{
    // The chain owns its successors; delete them one by one, not recursively.
    Area *rest = next;
    next = nullptr;
    while (rest) {
        Area *following = rest->next;
        rest->next = nullptr;
        delete rest;
        rest = following;
    }
}

void Area::append(Area *area, Area *&head)
{
    if (!area)
        return;
    if (!head) {
        head = area;
        return;
    }
    Area *last = head;
    while (last->next)
        last = last->next;
    last->next = area;
}
