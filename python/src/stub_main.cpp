// Writes the package's type stubs (tavrix/__init__.pyi) to the path given.
#include <cstdio>
#include <fstream>

#include "python_api.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrix_pyi OUTPUT.pyi\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << tavrix::python::packageStubs();
    out.close();
    if (!out) {
        std::fprintf(stderr, "tavrix_pyi: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
