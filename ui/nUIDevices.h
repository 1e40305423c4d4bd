#ifndef N_UIDEVICES_H
#define N_UIDEVICES_H
// What a program lends every 2D scene of its engine (nOrvexParts::userInterface), given to each
// scene when it is made: the player's mouse, its window titles written with its fonts. Each part
// may be NULL (the scene then keeps its null part); none is owned.
class nUIPointer;
class nWindowTitleWriter;
class nWindowSystemFonts;

struct nUIDevices
{
    nUIPointer* pointer = 0;              // moves the cursor and presses the buttons of every 2D scene
    nWindowTitleWriter* titleWriter = 0;  // writes the titles of their windows
    nWindowSystemFonts* fonts = 0;        // the window-system fonts the scripts load and find
};

#endif
