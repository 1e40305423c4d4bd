// Writes the scene of the deep-chain game: a chain of items, each the child of the next, leaf
// first, whose leaf and root run the classes Leaf and Root of "chain.nut". The end-to-end
// player tests generate it at build time rather than keep a file of megabytes:
// make_deep_chain <scene file> <item count>. Exit code 0 on success.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/scene/kit/nDeepChain.h"

int main(int argc, char** argv)
{
    if (argc != 3 || std::atoi(argv[2]) < 2) {
        std::fprintf(stderr, "usage: make_deep_chain <scene file> <item count, at least 2>\n");
        return 2;
    }
    nDeepChain chain;
    chain.count = std::atoi(argv[2]);
    chain.leafUnit = "chain.nut|Leaf";
    chain.rootUnit = "chain.nut|Root";
    const std::string text = chain.Text();
    std::ofstream out(argv[1], std::ios::binary);
    out.write(text.data(), (std::streamsize)text.size());
    return out.good() ? 0 : 1;
}
