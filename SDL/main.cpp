// Entry point of the reader.
#include <cstdio>

int main(int argc, char **argv)
{
    fprintf(stderr, "No *.dat file\n");
    return 1;
}
