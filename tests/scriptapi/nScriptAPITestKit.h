#ifndef N_SCRIPTAPITESTKIT_H
#define N_SCRIPTAPITESTKIT_H

// nScriptAPITest: the fixture the script API tests derive from. An open script machine on an
// engine with the whole script API registered, the log captured, and optionally a scene of
// that engine and machine (deleted at TearDown). Snippets run as scripts of their own:
//
//     Exec("ItemSetPosition(box, Vector(1, 2, 3))");      // must run without an error
//     EXPECT_EQ(Eval("ItemGetName(box)"), "box");          // a value as text, or "error: ..."
//     EXPECT_EQ(Run("ItemGetName()"), "wrong number of parameters");

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "hub/nOrvex.h"
#include "script/nScriptMath.h"
#include "script/nSquirrelVM.h"
#include "tests/support/nLogCapture.h"
#include "ui/nUIDevices.h"

class nItem;
class nMItem;
class nScene;

typedef std::vector<std::string> Lines;

const float kPi = 3.14159265f;

class nScriptAPITest : public ::testing::Test
{
protected:
    void SetUp() override;     // opens the machine and registers the API
    void TearDown() override;  // deletes the scene

    void CreateScene(bool withPhysics = false);  // scene of engine and vm; a Bullet world on request

    // Root-table globals the snippets name.
    void Hold(const char* name, void* native, int32_t type);  // a new, unowned CObject of the native
    void Hold(const char* name, const nMatrix4& m);           // a new Matrix4
    void Hold(const char* name, const nMatrix3& m);           // a new Matrix3

    // Snippets.
    std::string Run(const std::string& code);         // statements, errors caught: "" or the error's text
    void Exec(const std::string& code);               // Run that must give ""
    void RunUncaught(const std::string& code);        // statements as the file "exec.nut"; an error reaches the machine
    std::string Eval(const std::string& expression);  // "" + value; "null", "x y z" for a Vector, "error: " + text
    float Number(const std::string& expression);      // Eval read as a number; a failure when it is none
    bool Push(const std::string& expression);         // the value left on the stack (the caller restores the top); false on error

    // The value of a Matrix3, Matrix4 or Vector instance; a failure and T() when it is none.
    template<class T>
    T Value(const std::string& expression, const ScriptClassDecl& decl)
    {
        SQInteger top = sq_gettop(v);
        T out;
        SQUserPointer p = 0;
        bool ok = Push(expression) && SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, (SQUserPointer)&decl)) && p;
        EXPECT_TRUE(ok) << expression << " gave no such instance";
        if (ok) out = *static_cast<T*>(p);
        sq_settop(v, top);
        return out;
    }
    nVector Vec(const std::string& e) { return Value<nVector>(e, g_VectorClassDecl); }
    nMatrix4 Mat4(const std::string& e) { return Value<nMatrix4>(e, g_Matrix4ClassDecl); }
    nMatrix3 Mat3(const std::string& e) { return Value<nMatrix3>(e, g_Matrix3ClassDecl); }

    // Generated sweeps: the call text of name(args...), and whether an error's text starts with
    // one of the family's known errors.
    static std::string CallText(const std::string& name, const std::vector<std::string>& args)
    {
        std::string call = name + "(";
        for (size_t i = 0; i < args.size(); ++i) call += (i ? ", " : "") + args[i];
        return call + ")";
    }
    static bool IsKnownError(const std::string& error, const std::vector<std::string>& known)
    {
        for (const std::string& text : known)
            if (error.compare(0, text.size(), text) == 0) return true;
        return false;
    }

    // Tables of cases: each snippet gives its text, through Eval or Run; a failure names the snippet.
    struct Expected
    {
        const char* code;
        const char* text;
    };
    template<size_t N> void ExpectEvals(const Expected (&cases)[N])
    {
        for (const Expected& c : cases) EXPECT_EQ(Eval(c.code), c.text) << c.code;
    }
    template<size_t N> void ExpectRuns(const Expected (&cases)[N])
    {
        for (const Expected& c : cases) EXPECT_EQ(Run(c.code), c.text) << c.code;
    }

    // Each name is a native closure of that name taking params parameters (the root included).
    struct Function
    {
        const char* name;
        SQInteger params;
    };
    void ExpectFunctions(const Function* functions, size_t count);
    template<size_t N> void ExpectFunctions(const Function (&functions)[N]) { ExpectFunctions(functions, N); }

    static nItem* Node(nMItem* item);                           // the item's transform node
    static nOrvexParts BulletWorldParts(const nUIDevices* ui);  // no caches; Bullet worlds for scenes; ui lent to 2D scenes

    nLogCapture log;
    nUIDevices uiDevices;                         // what the engine lends its 2D scenes: none until a test fills it in
    nOrvex engine{BulletWorldParts(&uiDevices)};  // scenes simulate on Bullet when asked
    nSquirrelVM vm{&engine};
    HSQUIRRELVM v = 0;
    nScene* scene = 0;

private:
    void HoldPushed(const char* name, const std::function<bool()>& push);  // push leaves the value on the stack
};

#endif

// Family manifests: the names, masks and values of a family as its tables give them, kept in
// tests/scriptapi/manifest/ apart from the registration code. Lines starting with '#' are notes.
struct ManifestFunction
{
    std::string name;
    std::string mask;
    std::string nullObject;  // what a null object does: "error", "ignored", or "-" (no object argument)
    std::string result;
};
struct ManifestConstant
{
    std::string name;
    long long value;  // 0 for a null object
    int nullKind;     // the kind of a null object (value "null <kind>"), else -1
};
struct ManifestMethod
{
    std::string name;
    SQInteger params;  // 'this' included; negative: at least that many
};
std::vector<ManifestFunction> ReadFunctionManifest(const char* file);  // file under manifest/
std::vector<ManifestConstant> ReadConstantManifest(const char* file);
std::vector<ManifestMethod> ReadMethodManifest(const char* file);
SQInteger MaskEntries(const std::string& mask);  // 'this' included

// The census: every family's manifest. Files named <family>_functions.tsv and
// <family>_constants.tsv, in name order.
std::vector<std::string> ManifestFiles(const char* suffix);  // "_functions.tsv" or "_constants.tsv"
std::vector<ManifestFunction> ReadAllFunctionManifests();
std::vector<ManifestConstant> ReadAllConstantManifests();

// The root-table names a registrar adds to a machine just opened (its own, not the kit's).
std::vector<std::string> NamesAddedBy(void (*registrar)(HSQUIRRELVM));
