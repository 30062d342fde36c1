// The C++ unit of the MSVC-ABI host: KestIni.lib holds the installation's KestIni.dll under the
// names this compiler decorates from KestIni.h.
#include "Host.h"

#include <KestIni.h>

#include <windows.h>

extern "C" void hostCheckKestIni(void) {
    char installDir[261];
    installDir[0] = '\0';
    const bool found = KestInstallPath(installDir, sizeof installDir);
    hostCheck(found, "KestInstallPath (?KestInstallPath@@YA_NPEADK@Z) answers");
    if (found) {
        hostWrite("installDir ");
        hostWrite(installDir);
        hostWrite("\n");
    }
    char section[] = "LOG";
    char key[] = "WriteLog";
    char value[261];
    value[0] = '\0';
    hostCheck(KestIniRead(section, key, value) == 0 && lstrcmpA(value, "1") == 0,
              "KestIniRead (?KestIniRead@@YAKPEAD00@Z) gives LOG/WriteLog 1");
}
