// The program icon's pictures, smallest first, compiled in (made by tools/iconpixels).
#pragma once

struct TIconPixels
{
    int Size;                  // pixels a side
    const unsigned char *Argb; // Size * Size premultiplied ARGB32 pixels, in the machine's byte order
};

extern const TIconPixels ProgramIconPixels[];
extern const int ProgramIconPixelCount;
