// The artwork tool: regenerates the program's resource pictures into a folder.
#include <stdio.h>
#include "artwork.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: artwork OUTPUT_FOLDER\n");
        return 2;
    }
    int failed = WriteArtwork(argv[1]);
    if (failed) fprintf(stderr, "artwork: %d file(s) could not be written to %s\n", failed, argv[1]);
    return failed ? 1 : 0;
}
