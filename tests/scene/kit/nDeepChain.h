#ifndef N_DEEPCHAIN_H
#define N_DEEPCHAIN_H

#include <cstdint>
#include <cstdio>
#include <string>

// The text of a scene file holding one chain of objects, each the child of the next: the item
// of source uid 0 ("link0") is the leaf and comes first, the item of uid count - 1 is the root.
// Every item lies one unit along X from its parent, so item i lies at x = count - i in the world.
// The links are written leaf first, or root first when asked; units, when named, are the
// script units ("<file>|<class>") of the leaf and of the root.
struct nDeepChain
{
    int32_t count = 20000;
    bool rootFirstLinks = false;
    std::string leafUnit;
    std::string rootUnit;

    std::string Text() const
    {
        std::string text = "<NML=1.0>\n<Scene=\n<Items=\n";
        text.reserve((size_t)count * 120);
        char line[256];
        for (int32_t i = 0; i < count; ++i) {
            const std::string& unit = i == 0 ? leafUnit : (i == count - 1 ? rootUnit : std::string());
            std::snprintf(line, sizeof(line), "<MObject= <MItem= <Id=\"link%d\"> <UId=%d> <Active>", (int)i, (int)i);
            text += line;
            if (!unit.empty()) {
                const size_t bar = unit.find('|');
                text += " <ScriptUnit= <Script=\"" + unit.substr(0, bar) + "\"> <Class=\"" + unit.substr(bar + 1) + "\"> >";
            }
            text += " > <Object= <Item= <Position= <X=1.0> <Y=0.0> <Z=0.0> > > > >\n";
        }
        text += ">\n<Links=\n";
        for (int32_t k = 0; k + 1 < count; ++k) {
            const int32_t child = rootFirstLinks ? count - 2 - k : k;
            std::snprintf(line, sizeof(line), "<Link= <Item=%d> <Link=%d> >\n", (int)child, (int)(child + 1));
            text += line;
        }
        text += ">\n>\n";
        return text;
    }
};

#endif
