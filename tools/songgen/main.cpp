#include <cstdio>

#include "tools/xm/xm_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: songgen OUT.xm\n");
        return 2;
    }
    xm::Module module;
    return xm::writeFile(module, argv[1]) ? 0 : 1;
}
