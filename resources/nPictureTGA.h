#ifndef N_PICTURETGA_H
#define N_PICTURETGA_H

class nIOFile;
class nPicture;

// Reads a TGA picture (colour-mapped, true colour or grey, raw or run-length) from the start of an
// open file into picture as PixelFormatBGRA8. False without a log line when the header is not one
// the reader can decode (so other codecs may try the file); palette problems and allocation
// failures log one error. Pixel data that ends early leaves the rest of the picture zero and
// still succeeds.
bool LoadPictureTGA(nIOFile& file, nPicture& picture);

// Writes an uncompressed top-left TGA of a BGRA8, RGBA8, BGR8, RGB24 or RGB555 picture, with the
// colours in the file's blue, green, red (, alpha) order whatever the picture's byte order.
// False with one error line for another format, a picture without pixels or wider or taller than
// 65535, a path that cannot be opened or a write that does not finish.
bool SavePictureTGA(const char* path, const nPicture& picture);

#endif
