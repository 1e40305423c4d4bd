#ifndef N_TEXTURESTREAMINTERFACE_H
#define N_TEXTURESTREAMINTERFACE_H

// The video output that feeds a streamed texture. The texture that holds one owns it and
// deletes it through this virtual destructor.
class nTextureStreamInterface
{
public:
    virtual ~nTextureStreamInterface() {}
};

#endif
