#include "platform/NamedMutex.h"

#include <windows.h>

namespace VeltorPlatform {

const std::string& namedMutexErrorDetail() {
    static const std::string none;
    return none;
}

std::string NamedMutex::lockFilePath(const std::string&) {
    return std::string();
}

NamedMutex::~NamedMutex() {
    close();
}

bool NamedMutex::isHeld() const {
    return handle != nullptr;
}

MutexAttempt NamedMutex::tryCreate(const std::string& name, std::uint32_t& error) {
    if (handle != nullptr) {
        error = ERROR_ACCESS_DENIED;
        return MutexAttempt::Error;
    }
    HANDLE created = CreateMutexA(nullptr, FALSE, name.c_str());
    const DWORD code = GetLastError();
    if (created == nullptr) {
        error = code;
        return code == ERROR_ALREADY_EXISTS ? MutexAttempt::Busy : MutexAttempt::Error;
    }
    if (code == ERROR_ALREADY_EXISTS) {
        // Somebody else created it and holds it while their handle stays open.
        CloseHandle(created);
        error = ERROR_ALREADY_EXISTS;
        return MutexAttempt::Busy;
    }
    handle = created;
    error = 0;
    return MutexAttempt::Acquired;
}

bool NamedMutex::close() {
    if (handle == nullptr)
        return true;
    if (!CloseHandle(static_cast<HANDLE>(handle)))
        return false;
    handle = nullptr;
    return true;
}

} // namespace VeltorPlatform
