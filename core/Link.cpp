#include "Link.h"

bool Link::follow()
{
    return false;
}
