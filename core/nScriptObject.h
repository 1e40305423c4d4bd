#ifndef N_SCRIPTOBJECT_H
#define N_SCRIPTOBJECT_H

// A counted reference to one value inside the script machine. The script runtime derives
// from it; everyone else only holds the pointer and deletes it through the virtual
// destructor when they own it. Kept free of any script-machine header so core can use it.
class nScriptObject
{
public:
    virtual ~nScriptObject() = 0;

protected:
    nScriptObject() {}

private:
    nScriptObject(const nScriptObject&) = delete;
    nScriptObject& operator=(const nScriptObject&) = delete;
};

inline nScriptObject::~nScriptObject() {}

#endif
