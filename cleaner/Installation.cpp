// Installation discovery and the cleaning plan: which parts of the suite are installed, where, and which
// directories the cleanings may touch.
#include "ActionReport.h"
#include "FsTools.h"
#include "Sorvik.h"
#include "WinRegistry.h"
#include "platform/Console.h"
#include "platform/Paths.h"

#include <cstdio>

namespace Veltor {

namespace {

const char* const kHive = "HKEY_LOCAL_MACHINE";
const char* const kProductKey = "SOFTWARE\\Veltor";
const char* const kClientKey = "SOFTWARE\\Veltor\\Resources";
const char* const kServerKey = "SOFTWARE\\Veltor\\CoreServer\\Install";

// A directory derived from a base that did not resolve stays unresolved: nothing is ever built on an
// empty base (no "\Log" at the root of the drive). The path is still reported as it would have been built.
void derive(Sorvik& app, std::string& member, const std::string& base, const std::string& suffix) {
    if (base.empty()) {
        app.verboseLine("Error: The following path is not a directory: " +
                        ActionReport::printable(base + suffix));
        return;
    }
    app.checkDirectory(member, base + suffix);
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// Whether a directory value from the registry names one place whatever the current directory and drive
// of the run: POSIX, a leading separator; Windows, a drive letter with a separator after it or a
// "\\\\server\\share" name ("C:dir" and "\\dir" depend on the current drive's state). A NUL inside
// would show one path and let the system use only the part before it. reason tells why not.
bool isUsableDirectoryValue(const std::string& value, std::string& reason) {
    if (value.find('\0') != std::string::npos) {
        reason = "it holds a NUL character";
        return false;
    }
    if (value.empty())
        return true; // not set: reported as any other path that is not a directory
    bool absolute = false;
    if (VeltorPlatform::kPathStyle == VeltorPlatform::PathStyle::Posix) {
        absolute = isSeparator(value[0]);
    } else if (value.size() >= 3) {
        const char drive = static_cast<char>(value[0] | 0x20);
        absolute = (drive >= 'a' && drive <= 'z' && value[1] == ':' && isSeparator(value[2])) ||
                   (isSeparator(value[0]) && isSeparator(value[1]) && !isSeparator(value[2]));
    }
    if (!absolute)
        reason = "it is not an absolute path";
    return absolute;
}

} // namespace

std::string Sorvik::discoverInstallation() {
    std::vector<std::string> names = VeltorCorelib::WinRegistry::getSubKeys(kHive, kProductKey, false);
    int counted = 0;
    for (const std::string& name : names) {
        if (name == "CoreServer") {
            installationType = "server";
            ++counted;
        } else if (name == "Installation") {
            installationType = "client";
            ++counted;
        }
    }
    if (counted == 2) {
        verboseLine("Installed: Veltor Client and Server");
        installationType = "both";
        return installationType;
    }
    verboseLine("Installed: " + installationType);
    return installationType;
}

std::string Sorvik::readInstallValue(const std::string& valueName, const std::string& part) {
    const char* key = part == "server" ? kServerKey : kClientKey;
    const std::string value = VeltorCorelib::WinRegistry::getString(kHive, key, valueName, false);
    // Nothing may be derived from a refused value, and the refusal is shown even without --verbose.
    std::string reason;
    if (isUsableDirectoryValue(value, reason))
        return value;
    VeltorPlatform::consoleWrite(std::string("\nError: The registry value \"") + valueName + "\" of \"" +
                                 kHive + "\\" + key + "\" is refused, " + reason + ": \"" +
                                 ActionReport::printable(value) + "\"\n");
    VeltorPlatform::consoleFlush();
    return std::string();
}

void Sorvik::checkDirectory(std::string& directory, const std::string& path) {
    std::string message;
    if (!path.empty() && VeltorFilelib::FsTools::isDir(path)) {
        directory = path;
        VeltorFilelib::FsTools::unifySeparators(directory);
        message = "Directory: " + ActionReport::printable(directory);
    } else {
        message = "Error: The following path is not a directory: " + ActionReport::printable(path);
    }
    verboseLine(message);
}

void Sorvik::resolveDirectories() {
    if (installationType == "client" || installationType == "both") {
        checkDirectory(dirs.clientInstall, readInstallValue("InstallDir", ""));
        checkDirectory(dirs.clientConfig, readInstallValue("ConfigurationDir", ""));
        checkDirectory(dirs.clientStartupLog, readInstallValue("StartupLogDir", ""));
        derive(*this, dirs.clientTemp, dirs.clientStartupLog, "/temp");
    }
    if (installationType == "server" || installationType == "both") {
        checkDirectory(dirs.serverInstall, readInstallValue("InstallDir", "server"));
        const std::string& install = dirs.serverInstall;
        derive(*this, dirs.serverConfig, install, "/Configuration");
        derive(*this, dirs.serverLog, install, "/Log");
        derive(*this, dirs.serverLogTemp, dirs.serverLog, "/temp");
        derive(*this, dirs.webResults, install, "/Data/veltor_html_data/results");
        derive(*this, dirs.trashCan, dirs.webResults, "/{Trashcan}");
        derive(*this, dirs.temporaryReports, dirs.webResults, "/{Temporary}");
        derive(*this, dirs.licenseReports, install, "/ReportingServer/html/Veltor/license");
        derive(*this, dirs.simpleReports, dirs.serverConfig, "/SimpleReports");
        // One separator between the installation and "Data/database", whether or not the installation
        // path ends in one.
        std::string separated = install;
        if (!separated.empty() && separated.back() != '\\' && separated.back() != '/')
            separated += "/";
        derive(*this, dirs.database, separated, "Data/database");
        derive(*this, dirs.incomingData, install, "/Data/incoming");
        derive(*this, dirs.finishedJobs, dirs.serverLogTemp, "/Scheduler/finished");
        derive(*this, dirs.licenseStatus, install, "/Data/license_status");
    }
    // Names below the directories the registry names are shown relative to them (unset ones are empty).
    plan_.forget();
    for (const std::string* named :
         {&dirs.clientInstall, &dirs.clientConfig, &dirs.clientStartupLog, &dirs.serverInstall})
        plan_.showNamesBelow(*named);
}

} // namespace Veltor
