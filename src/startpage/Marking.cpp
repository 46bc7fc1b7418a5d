// Marks the installed products on the start page.
#include "app/PVelastrom.h"

namespace velastrom {

void TFVelastrom::MarkInstalledProducts()
{
}

}  // namespace velastrom
