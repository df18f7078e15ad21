// Installation discovery and the cleaning plan: which parts of the suite are installed, where, and which
// directories the cleanings may touch.
#include "ActionReport.h"
#include "FsTools.h"
#include "Sorvik.h"
#include "TrustedDirs.h"
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
                        ReportText::printable(base + suffix));
        return;
    }
    app.checkDirectory(member, base + suffix);
}

// Whether a directory value from the registry names one place whatever the current directory and drive
// of the run ("C:dir" and "\\dir" depend on the current drive's state). A NUL inside would show one path
// and let the system use only the part before it. reason tells why not.
bool isUsableDirectoryValue(const std::string& value, std::string& reason) {
    if (value.find('\0') != std::string::npos) {
        reason = "it holds a NUL character";
        return false;
    }
    if (value.empty() || VeltorPlatform::isAbsolutePath(value))
        return true; // empty: not set, reported as any other path that is not a directory
    reason = "it is not an absolute path";
    return false;
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
    const std::string text = std::string("\nError: The registry value \"") + valueName + "\" of \"" + kHive +
                             "\\" + key + "\" is refused, " + reason + ": \"" + ReportText::printable(value) +
                             "\"\n";
    Event event = Event::named(EventType::RegistryRefused, &text);
    report_.tell(event);
    return std::string();
}

void Sorvik::checkDirectory(std::string& directory, const std::string& path) {
    checkDirectory(directory, path, false);
}

void Sorvik::checkDirectory(std::string& directory, const std::string& path, bool namedByRegistry) {
    using Outcome = TrustedDirs::Outcome;
    // Names below the directories the registry names are shown relative to them.
    if (namedByRegistry)
        plan_.showNamesBelow(path);
    const TrustedDirs::Opened* opened = path.empty() ? nullptr : &plan_.open(path);
    // What the link rule refuses, or the system does not let us open, exists: the cleanings that meet
    // it tell why they cannot clean it. What is not there, or not a directory, is not stored: nothing
    // is derived from it.
    const bool stored =
        opened != nullptr &&
        (opened->outcome == Outcome::Opened || opened->outcome == Outcome::Unreadable ||
         (opened->outcome == Outcome::Refused && opened->refusal != TrustedDirs::Refusal::NotADirectory));
    if (stored) {
        directory = path;
        VeltorFilelib::FsTools::unifySeparators(directory);
        verboseLine("Directory: " + ReportText::printable(directory));
        return;
    }
    verboseLine("Error: The following path is not a directory: " + ReportText::printable(path));
    // A directory derived from one that exists may be missing: this installation has none. What the
    // registry names must be there, a link must lead somewhere, and nothing else may stand in the way.
    Event event = Event::of(EventType::NotCleaned);
    const std::string unified = TrustedDirs::unified(path);
    event.shown = &unified;
    event.name = unified;
    if (opened != nullptr && opened->outcome == Outcome::Refused) {
        event.problem = Problem::NotADirectory;
        event.shown = &opened->refusedAt;
    } else if (opened != nullptr && opened->missingTarget) {
        event.problem = Problem::LinkLeadsNowhere;
    } else if (namedByRegistry) {
        event.problem = Problem::RegistryMissing;
    } else {
        return;
    }
    plan_.notCleaned(event);
}
void Sorvik::resolveDirectories() {
    // Every directory is resolved once, by the run's plan, which the cleanings then use.
    plan_.forget();
    if (installationType == "client" || installationType == "both") {
        checkDirectory(dirs.clientInstall, readInstallValue("InstallDir", ""), true);
        checkDirectory(dirs.clientConfig, readInstallValue("ConfigurationDir", ""), true);
        checkDirectory(dirs.clientStartupLog, readInstallValue("StartupLogDir", ""), true);
        derive(*this, dirs.clientTemp, dirs.clientStartupLog, "/temp");
    }
    if (installationType == "server" || installationType == "both") {
        checkDirectory(dirs.serverInstall, readInstallValue("InstallDir", "server"), true);
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
}

} // namespace Veltor
