// Installation discovery and the cleaning plan: which parts of the suite are installed, where, and which
// directories the cleanings may touch.
#include "FsTools.h"
#include "Sorvik.h"
#include "TrustedDirs.h"
#include "WinRegistry.h"

#include <cstdio>

namespace Veltor {

namespace {

const char* const kHive = "HKEY_LOCAL_MACHINE";
const char* const kProductKey = "SOFTWARE\\Veltor";
const char* const kClientKey = "SOFTWARE\\Veltor\\Resources";
const char* const kServerKey = "SOFTWARE\\Veltor\\CoreServer\\Install";

void verboseMessage(const std::string& text) {
    Sorvik::verboseLine(text);
}

// A directory derived from a base that did not resolve stays unresolved: nothing is ever built on an
// empty base (no "\Log" at the root of the drive). The path is still reported as it would have been built.
void derive(Sorvik& app, std::string& member, const std::string& base, const std::string& suffix) {
    if (base.empty()) {
        verboseMessage("Error: The following path is not a directory: " + base + suffix);
        return;
    }
    app.checkDirectory(member, base + suffix);
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
        verboseMessage("Installed: Veltor Client and Server");
        installationType = "both";
        return installationType;
    }
    verboseMessage("Installed: " + installationType);
    return installationType;
}

std::string Sorvik::readInstallValue(const std::string& valueName, const std::string& part) {
    const char* key = part == "server" ? kServerKey : kClientKey;
    return VeltorCorelib::WinRegistry::getString(kHive, key, valueName, false);
}

void Sorvik::checkDirectory(std::string& directory, const std::string& path) {
    std::string message;
    if (!path.empty() && VeltorFilelib::FsTools::isDir(path)) {
        directory = path;
        VeltorFilelib::FsTools::unifySeparators(directory);
        message = "Directory: " + directory;
    } else {
        message = "Error: The following path is not a directory: " + path;
    }
    verboseMessage(message);
}

void Sorvik::resolveDirectories() {
    // The directories the registry names are the roots everything to clean is reached from; whatever
    // lies below them is walked through handles, never through a link.
    TrustedDirs::forgetAll();
    if (installationType == "client" || installationType == "both") {
        checkDirectory(dirs.clientInstall, readInstallValue("InstallDir", ""));
        checkDirectory(dirs.clientConfig, readInstallValue("ConfigurationDir", ""));
        checkDirectory(dirs.clientStartupLog, readInstallValue("StartupLogDir", ""));
        derive(*this, dirs.clientTemp, dirs.clientStartupLog, "/temp");
        TrustedDirs::trust(dirs.clientInstall);
        TrustedDirs::trust(dirs.clientConfig);
        TrustedDirs::trust(dirs.clientStartupLog);
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
        TrustedDirs::trust(install);
    }
}

} // namespace Veltor
