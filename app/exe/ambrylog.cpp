#include "Entry.h"

int main(int argc, char **argv)
{
    return runAmbrylog(argc, argv);
}
