// kesttool: tries the libraries' exports from the command line, as a host would call them.
#include "KestIniStandIn.h"
#include "KestLog.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kLogSectionKey[] = "Software\\Kest\\KestIni\\LOG";

int usage() {
    std::fputs(
        "usage: kesttool <command> [arguments]\n"
        "  install-dir <directory>   set the installation directory (KestIni stand-in)\n"
        "  log-on <log file>         switch the log on and place it\n"
        "  log-off                   switch the log off\n"
        "  log-flag                  print whether the log is on\n"
        "  log <message>             write one record through Log\n",
        stderr);
    return 2;
}

bool setRegistryString(const char* subKey, const char* name, const std::string& value) {
    return RegSetKeyValueA(HKEY_CURRENT_USER, subKey, name, REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

int failed(const char* what) {
    std::fprintf(stderr, "kesttool: %s failed\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) return usage();
    const std::string command = argv[1];

    if (command == "install-dir" && argc == 3) {
        return setRegistryString(kest::standin::kRootKey, kest::standin::kInstallPathValue, argv[2])
                   ? 0
                   : failed("setting the installation directory");
    }
    if (command == "log-on" && argc == 3) {
        if (!setRegistryString(kLogSectionKey, "LogPath", argv[2]) || !setRegistryString(kLogSectionKey, "WriteLog", "1"))
            return failed("switching the log on");
        return 0;
    }
    if (command == "log-off" && argc == 2)
        return setRegistryString(kLogSectionKey, "WriteLog", "0") ? 0 : failed("switching the log off");
    if (command == "log-flag" && argc == 2) {
        std::puts(LogFlag() ? "on" : "off");
        return 0;
    }
    if (command == "log" && argc == 3) {
        Log(KEST_SOURCE_FILE, __LINE__, argv[2]);
        return 0;
    }
    return usage();
}
