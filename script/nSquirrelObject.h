#ifndef N_SQUIRRELOBJECT_H
#define N_SQUIRRELOBJECT_H

#include <squirrel.h>

#include "core/nScriptObject.h"

class nSquirrelVM;

// A counted reference to one value inside an nSquirrelVM. Holds one reference while the
// machine is open; when the machine closes first the object is detached and deleting it
// later touches nothing.
class nSquirrelObject final : public nScriptObject
{
public:
    nSquirrelObject(nSquirrelVM* vm, const HSQOBJECT& object);  // takes a reference
    ~nSquirrelObject() override;

    const HSQOBJECT& GetHandle() const { return m_object; }
    nSquirrelVM* GetVM() const { return m_vm; }  // NULL once detached
    void Detach();                               // drops the reference; forgets the machine

private:
    friend class nSquirrelVM;
    HSQOBJECT m_object;
    nSquirrelVM* m_vm;
    nSquirrelObject* m_prev;
    nSquirrelObject* m_next;
};

#endif
