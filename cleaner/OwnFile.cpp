#include "OwnFile.h"

#include "OldFilesRemoverText.h"
#include "TrustedDirs.h"

namespace Veltor {

namespace FsError = VeltorPlatform::FileSystemError;

bool OwnFile::reach(const std::string& path, bool keepStamps) {
    std::string folder;
    RemoverText::splitPath(path, folder, name);
    TrustedDirs::Options options;
    options.keepStamps = keepStamps;
    const TrustedDirs::Opened opened = TrustedDirs::open(folder, {}, nullptr, 0, options);
    if (opened.outcome == TrustedDirs::Outcome::Refused) {
        problem = opened.refusal == TrustedDirs::Refusal::UntrustedLink  ? Problem::UntrustedLink
                  : opened.refusal == TrustedDirs::Refusal::TooManyLinks ? Problem::TooManyLinks
                                                                         : Problem::NotADirectory;
        return false;
    }
    if (opened.outcome != TrustedDirs::Outcome::Opened || name.empty()) {
        problem = Problem::CannotOpen;
        error = name.empty() ? FsError::InvalidParameter : opened.error;
        return false;
    }
    dir = opened.dir;
    VeltorPlatform::EntryInfo existing;
    const bool exists = dir.lookup(name, existing) == FsError::Success;
    if (!dir.writersTrusted(exists ? &existing : nullptr)) {
        problem = Problem::UntrustedDir;
        return false;
    }
    return true;
}

} // namespace Veltor
