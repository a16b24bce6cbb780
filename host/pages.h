// The two built-in pages: pictures drawn by the program through the graphics
// interface, so that demos and tests need no image files. They make
// transitions easy to see: different colours and shapes, fine detail and a
// clear grid.
#ifndef QVT_HOST_PAGES_H
#define QVT_HOST_PAGES_H

#include <windows.h>

namespace qvt::host {

enum class Page { Departing, Arriving };

// Draws a page filling (0, 0, width, height) of the DC's logical space.
void DrawBuiltinPage(HDC dc, Page page, int width, int height);

} // namespace qvt::host

#endif
