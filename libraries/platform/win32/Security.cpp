// What Wine (8.0) makes of this: GetSecurityInfo on a file or directory handle opened with
// READ_CONTROL answers with a descriptor built from the host's owner and mode bits (owner the Wine
// user S-1-5-21-0-0-0-1000; SYSTEM and the owner full access; Everyone read and execute unless the
// mode lets others write); without READ_CONTROL it fails with ERROR_ACCESS_DENIED, as on Windows.
// SetSecurityInfo maps a DACL back onto the mode bits; AdjustTokenPrivileges succeeds.
#include "Security.h"

#include "NtCalls.h"
#include "Win32Files.h"

#include <aclapi.h>

#include <cstring>

#include <vector>

namespace VeltorPlatform {
namespace Win32 {

namespace {

// The rights that let their holder add, remove or rename entries of a directory, or change who may.
constexpr ACCESS_MASK kChangingRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464, the service that owns the system's files.
bool isTrustedInstaller(PSID sid) {
    static const DWORD parts[] = {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464};
    static const SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    if (*::GetSidSubAuthorityCount(sid) != 6 ||
        std::memcmp(::GetSidIdentifierAuthority(sid), &ntAuthority, sizeof ntAuthority) != 0)
        return false;
    for (DWORD i = 0; i < 6; ++i)
        if (*::GetSidSubAuthority(sid, i) != parts[i])
            return false;
    return true;
}

bool trustedOwner(PSID sid, PSID user) {
    return ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           isTrustedInstaller(sid) || (user != nullptr && ::EqualSid(sid, user));
}

// Restores the token's privileges as they were when it goes.
class RestorePrivilege {
public:
    RestorePrivilege() {
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            token = nullptr;
            return;
        }
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        DWORD size = 0;
        // Success with ERROR_NOT_ALL_ASSIGNED where the token lacks the privilege: nothing changed.
        if (::LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &wanted.Privileges[0].Luid))
            changed = ::AdjustTokenPrivileges(token, FALSE, &wanted, sizeof previous, &previous, &size) &&
                      ::GetLastError() == ERROR_SUCCESS && previous.PrivilegeCount > 0;
    }
    ~RestorePrivilege() {
        if (changed)
            ::AdjustTokenPrivileges(token, FALSE, &previous, 0, nullptr, nullptr);
        if (token != nullptr)
            ::CloseHandle(token);
    }
    RestorePrivilege(const RestorePrivilege&) = delete;
    RestorePrivilege& operator=(const RestorePrivilege&) = delete;

private:
    HANDLE token = nullptr;
    TOKEN_PRIVILEGES previous{};
    bool changed = false;
};

} // namespace

bool onlyTrustedWriters(PSECURITY_DESCRIPTOR descriptor, PSID user) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr ||
        !::IsValidSid(owner) || !trustedOwner(owner, user))
        return false;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || dacl == nullptr)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace))
            return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;
        switch (header->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            continue;
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: { // the same layout up to the SID
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            PSID sid = const_cast<DWORD*>(&allowed->SidStart);
            if ((allowed->Mask & kChangingRights) != 0 && !trustedOwner(sid, user) &&
                !::IsWellKnownSid(sid, WinCreatorOwnerRightsSid) &&
                !::IsWellKnownSid(sid, WinCreatorOwnerSid))
                return false;
            continue;
        }
        default:
            return false;
        }
    }
    return true;
}

PSID runningUser() {
    static const std::vector<unsigned char> user = [] {
        std::vector<unsigned char> buffer;
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
            return buffer;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        buffer.resize(size);
        if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
            buffer.clear();
        ::CloseHandle(token);
        return buffer;
    }();
    return user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
}

bool linksTrustedIn(HANDLE dir) {
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (Nt::openRelative(dir, std::wstring(), READ_CONTROL, Nt::kShareAll, Nt::kOpen,
                         Nt::kDirectoryFile | Nt::kBackupIntent, opened) != 0)
        return false;
    ScopedHandle reading(opened);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(reading.get(), SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                          nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool trusted = onlyTrustedWriters(descriptor, runningUser());
    ::LocalFree(descriptor);
    return trusted;
}

std::uint32_t copySecurity(HANDLE model, HANDLE target) {
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error =
        ::GetSecurityInfo(model, SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          &owner, &group, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return error;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    const SECURITY_INFORMATION daclPart =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    {
        RestorePrivilege privilege;
        // The creating handle may write data only: a handle of its own for the security, with the owner
        // right where we may have it, else with the DACL right alone. SetSecurityInfo reads the
        // descriptor it changes (Wine refuses it without READ_CONTROL).
        HANDLE opened = INVALID_HANDLE_VALUE;
        error = Nt::openRelative(target, std::wstring(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                 Nt::kShareAll, Nt::kOpen, Nt::kNonDirectoryFile | Nt::kBackupIntent, opened);
        if (error != 0)
            error = Nt::openRelative(target, std::wstring(), READ_CONTROL | WRITE_DAC, Nt::kShareAll,
                                     Nt::kOpen, Nt::kNonDirectoryFile, opened);
        ScopedHandle writable(opened);
        if (error == 0) {
            error = ::SetSecurityInfo(writable.get(), SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | daclPart,
                                      owner, group, dacl, nullptr);
            if (error != ERROR_SUCCESS)
                error =
                    ::SetSecurityInfo(writable.get(), SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION | daclPart,
                                      nullptr, group, dacl, nullptr);
            if (error != ERROR_SUCCESS)
                error = ::SetSecurityInfo(writable.get(), SE_FILE_OBJECT, daclPart, nullptr, nullptr, dacl,
                                          nullptr);
        }
    }
    ::LocalFree(descriptor);
    return error;
}

} // namespace Win32
} // namespace VeltorPlatform
