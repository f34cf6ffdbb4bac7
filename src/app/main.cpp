// Quillmoor: resolves a share link and downloads the shared file.
#include "app/program.h"

int main(int argc, char** argv) {
    return quillmoor::program_main(argc, argv);
}
