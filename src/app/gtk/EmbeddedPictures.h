// The command bar's pictures, built into the executable.
#pragma once

#include <cstddef>

namespace velastrom::gtk {

struct EmbeddedPicture {
    const unsigned char* bytes;
    std::size_t size;  // 0 when the picture was missing at build time
};

extern const EmbeddedPicture HomePicture;
extern const EmbeddedPicture StopPicture;

}  // namespace velastrom::gtk
