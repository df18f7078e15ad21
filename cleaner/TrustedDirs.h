// The one way to a directory Sorvik cleans, whether the registry names it or it is derived from one that
// does. Whoever can write a directory can put a link in it or swap one of its entries for a link, so a
// path is never handed to the system to resolve: it is resolved here one name at a time from the root of
// the file system, each directory opened from the handle of the one that holds it. A link on the way is
// followed only where nobody but the administrators or the running user can write the directory that
// holds it (an administrator's relocation of a data directory); any other link, and anything that is not
// a directory, ends the way there. Below the directory reached nothing is ever reached through a link.
#pragma once
#include "platform/DirHandle.h"

#include <string>
#include <vector>

namespace Veltor {

// How a way is gone.
struct WayOptions {
    // Every link is followed, as the system itself would: a path the administrator typed (--why).
    bool followAll = false;
    // A link's last access is put back after it was read (a preview changes nothing).
    bool keepStamps = false;
};

// Holds no state: what a run opened and told is kept by its CleaningPlan.
class TrustedDirs {
public:
    enum class Outcome { Opened, Missing, Unreadable, Refused };
    enum class Refusal {
        None,
        NotADirectory, // a file or another non-directory, or ".." in the path as given
        UntrustedLink, // a link in a directory that others can write
        TooManyLinks,  // more links than any sane relocation needs: a loop
    };
    using Options = WayOptions;
    struct Opened {
        Outcome outcome = Outcome::Missing;
        // For Unreadable: the system's error; for Missing: whether what is missing is a link's target.
        std::uint32_t error = 0;
        bool missingTarget = false;
        // With keepStamps: the first link whose last access could not be put back (empty: none).
        std::string stampMoved;
        VeltorPlatform::DirHandle dir;
        // The directory names below it are shown relative to: the longest of `namingBases` it lies in,
        // otherwise the parent of the path.
        std::string root;
        // For Refused: the entry the way stopped at (as reached, links followed so far) and why.
        std::string refusedAt;
        Refusal refusal = Refusal::None;
        // For Opened: the directories of the way from the root to `dir`, as resolved (links followed),
        // so that what lies below it can be resolved from there.
        std::vector<VeltorPlatform::DirHandle> way;
    };
    // Opens `path`, resolved from the root of the file system ("/"; Windows: the drive's root or the
    // "\\server\share" root; a relative path from the current directory). A ".." in `path` itself is
    // refused; one in a followed link's target goes up one directory of the way.
    // With `above`, a directory opened before whose path (unified) is the part of `path` before
    // `namesFrom`: only the names from there on are resolved, from the way `above` was reached.
    static Opened open(const std::string& path, const std::vector<std::string>& namingBases = {},
                       const Opened* above = nullptr, std::string::size_type namesFrom = 0,
                       const Options& options = Options());
    // Opens the directory `name` of `parent`, never through a link: Refused for a link or anything but
    // a directory, Missing when it does not exist, Unreadable when it cannot be opened.
    static Outcome openChild(const VeltorPlatform::DirHandle& parent, const std::string& name,
                             VeltorPlatform::DirHandle& out, std::uint32_t* error = nullptr);
    // The path with unified separators and no trailing one (the root of a file system keeps its own).
    static std::string unified(const std::string& path);
};

} // namespace Veltor
