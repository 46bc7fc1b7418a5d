// The Linux program: the GTK application object, the Linux platform services
// and the dashboard's entry routine. It takes no arguments.
#include <glib.h>

#include "app/PVelastrom.h"
#include "app/gtk/GtkApplication.h"
#include "platform/linux/LinuxPlatform.h"

int main()
{
    // The window class (WM_CLASS) that ties the program's windows to its
    // desktop entry, and through it to the application icon.
    g_set_prgname("velastrom-navigazione");
    velastrom::gtk::GtkApplication application;
    velastrom::LinuxPlatform platform;
    const velastrom::TVelastromSettings buildSettings;
    return velastrom::VelastromNavigazione(application, platform, buildSettings);
}
