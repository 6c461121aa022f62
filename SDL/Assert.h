// Assertions of the SDL layer's containers and files: they stay on in every
// build type, report the failed condition with its source and line, and stop.
#ifndef MIRANDOL_SDL_ASSERT_H
#define MIRANDOL_SDL_ASSERT_H

#include <stdio.h>
#include <stdlib.h>

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

#define M2_ASSERT(condition, source)                                                  \
    do {                                                                              \
        if (!(condition)) {                                                           \
            fprintf(stderr, "Assertion \"%s\" failed in %s, line %d\n", #condition, \
                    source, __LINE__);                                                \
            fflush(stderr);                                                           \
            abort();                                                                  \
        }                                                                             \
    } while (0)

#endif
