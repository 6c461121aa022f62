// Until the filter machine is built in, version 2.9 members with filters stop
// at their first filter record. The filter machine replaces this file.
#include "Unpack.h"

std::unique_ptr<Filters29> createFilters29()
{
    return nullptr;
}
