// The window's placement, kept in an INI file beside the executable.
#include "app/PVelastrom.h"

#include "platform/IniFile.h"

namespace velastrom {

void TFVelastrom::FormShow()
{
}

void TFVelastrom::FormClose(TCloseAction& action)
{
    (void)action;
}

}  // namespace velastrom
