#include "TrustedPath.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace VeltorPlatform {
namespace TrustedPath {

bool trustedOwner(const struct stat& info) {
    return info.st_uid == 0 || info.st_uid == ::geteuid();
}

std::string foreignOwner(const struct stat& info) {
    return "belongs to uid " + std::to_string(info.st_uid) + ", neither root nor the running user";
}

namespace {

std::string checkOne(const std::string& directory) {
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0)
        return "the directory \"" + directory + "\" cannot be examined: " + std::strerror(errno);
    if (S_ISLNK(info.st_mode))
        return "\"" + directory + "\" is a symbolic link";
    if (!S_ISDIR(info.st_mode))
        return "\"" + directory + "\" is not a directory";
    if (!trustedOwner(info))
        return "the directory \"" + directory + "\" " + foreignOwner(info);
    const bool stickyOfRoot = info.st_uid == 0 && (info.st_mode & S_ISVTX) != 0;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !stickyOfRoot)
        return "group or others may write the directory \"" + directory + "\" (chmod go-w \"" + directory +
               "\")";
    return std::string();
}

} // namespace

std::string checkDirectories(const std::string& directory) {
    if (directory.empty() || directory[0] != '/')
        return "\"" + directory + "\" is not an absolute path";
    std::string reason = checkOne("/");
    for (std::size_t end = 1; reason.empty() && end < directory.size(); ++end) {
        end = directory.find('/', end);
        if (end == std::string::npos)
            end = directory.size();
        if (end > 0 && directory[end - 1] != '/')
            reason = checkOne(directory.substr(0, end));
    }
    return reason;
}

} // namespace TrustedPath
} // namespace VeltorPlatform
