#ifndef N_SCRIPTNOTES_H
#define N_SCRIPTNOTES_H

// A script function Note(...) that writes one line per call into a list the test reads:
// its arguments joined by ',', native objects as "<name>:<object type>" (names given by the
// test; "?" for a pointer it did not name, "null" for none), every other value as its
// tostring(). With a call log as sink, each line also goes there as "script.<line>", in order
// with what the kit's fakes record. Header only: each test program registers it on its own machine.

#include <map>
#include <string>
#include <vector>

#include <squirrel.h>

#include "script/nCObject.h"
#include "script/nSquirrelVM.h"
#include "tests/kit/nCallLog.h"

struct nScriptNotes
{
    std::vector<std::string> lines;
    std::map<const void*, std::string> names;
    nCallLog* sink = 0;

    static nScriptNotes*& Current()
    {
        static nScriptNotes* current = 0;
        return current;
    }

    nScriptNotes() { Current() = this; }
    ~nScriptNotes() { Current() = 0; }

    void Name(const void* native, const std::string& name) { names[native] = name; }

    std::string Describe(HSQUIRRELVM v, SQInteger index)
    {
        int32_t type = 0;
        if (sq_gettype(v, index) == OT_INSTANCE && ScriptGetNativeObjectType(v, index, &type)) {
            void* native = 0;
            ScriptGetNativeObject(v, index, &native, 0);
            std::string name = "null";
            if (native) {
                auto it = names.find(native);
                name = it == names.end() ? "?" : it->second;
            }
            return name + ":" + std::to_string(type);
        }
        const SQChar* text = "";
        sq_tostring(v, index);
        sq_getstring(v, -1, &text);
        std::string out = text;
        sq_pop(v, 1);
        return out;
    }

    static SQInteger Note(HSQUIRRELVM v)
    {
        nScriptNotes* notes = Current();
        if (!notes) return 0;
        std::string line;
        for (SQInteger i = 2; i <= sq_gettop(v); ++i) {
            if (i > 2) line += ",";
            line += notes->Describe(v, i);
        }
        notes->lines.push_back(line);
        if (notes->sink) notes->sink->Add("script." + line);
        return 0;
    }

    // Adds a native function under name to the root table of an open machine.
    static void Register(nSquirrelVM& vm, const char* name, SQFUNCTION function)
    {
        HSQUIRRELVM v = vm.GetHandle();
        SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_newclosure(v, function, 0);
        sq_newslot(v, -3, SQFalse);
        sq_settop(v, top);
    }

    void Register(nSquirrelVM& vm) { Register(vm, "Note", Note); }
};

#endif
