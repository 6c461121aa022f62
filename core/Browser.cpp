// Temporary main loop: only the first start-up step, finding the magazine.
#include "Browser.h"

#include "System.h"

int runBrowser(System *system)
{
    if (!system)
        return 0;
    g_system = system;
    system->set_error_message("No *.dat file");
    char *name = const_cast<char *>("*.dat");
    if (!system->find_one_file(name))
        return 0;
    delete[] name;
    system->set_error_message(nullptr);
    return 0;
}
