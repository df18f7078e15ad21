// The Windows rule for following a link: judged on security descriptors built here, since Wine cannot
// make the links or the accounts of a real installation.
#ifdef _WIN32
#include "../win32/Security.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

using namespace VeltorPlatform;

namespace {

std::vector<unsigned char> sid(const char* text) {
    PSID made = nullptr;
    EXPECT_TRUE(::ConvertStringSidToSidA(text, &made)) << text;
    std::vector<unsigned char> copy(static_cast<const unsigned char*>(made),
                                    static_cast<const unsigned char*>(made) + ::GetLengthSid(made));
    ::LocalFree(made);
    return copy;
}

// An owner and a DACL of access-allowed entries (`sid`, `mask`, `flags`); `nullDacl` for none at all.
struct Ace {
    const char* sid;
    DWORD mask;
    BYTE flags;
};
bool trusted(const char* owner, const std::vector<Ace>& aces, const char* user, bool nullDacl = false) {
    std::vector<unsigned char> ownerSid = sid(owner), userSid = sid(user);
    std::vector<unsigned char> acl(1024);
    SECURITY_DESCRIPTOR descriptor;
    EXPECT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(
        ::InitializeAcl(reinterpret_cast<PACL>(acl.data()), static_cast<DWORD>(acl.size()), ACL_REVISION));
    for (const Ace& ace : aces)
        EXPECT_TRUE(::AddAccessAllowedAceEx(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, ace.flags,
                                            ace.mask, sid(ace.sid).data()));
    EXPECT_TRUE(::SetSecurityDescriptorOwner(&descriptor, ownerSid.data(), FALSE));
    EXPECT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE,
                                            nullDacl ? nullptr : reinterpret_cast<PACL>(acl.data()), FALSE));
    return Win32::onlyTrustedWriters(&descriptor, userSid.data());
}

} // namespace

TEST(Win32SecurityTest, LinksAreTrustedOnlyWhereNobodyElseCanChangeTheDirectory) {
    const char* admins = "S-1-5-32-544";
    const char* system = "S-1-5-18";
    const char* users = "S-1-5-32-545";
    const char* installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    const char* me = "S-1-5-21-1111-2222-3333-1001";
    const char* someone = "S-1-5-21-1111-2222-3333-1002";
    const DWORD readExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    const std::vector<Ace> adminsOnly{
        {admins, FILE_ALL_ACCESS, 0}, {system, FILE_ALL_ACCESS, 0}, {users, readExecute, 0}};
    auto with = [&](Ace extra) {
        std::vector<Ace> aces = adminsOnly;
        aces.push_back(extra);
        return aces;
    };
    EXPECT_TRUE(trusted(admins, adminsOnly, me));
    EXPECT_TRUE(trusted(system, adminsOnly, me));
    EXPECT_TRUE(trusted(me, {{me, FILE_ALL_ACCESS, 0}, {users, readExecute, 0}}, me));
    // Rights handed down to new entries (CREATOR OWNER, inherit-only) do not apply to the directory.
    EXPECT_TRUE(trusted(
        installer,
        with({"S-1-3-0", GENERIC_ALL, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE}), me));
    EXPECT_TRUE(trusted(admins, with({users, FILE_ADD_FILE, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE}), me));

    EXPECT_FALSE(trusted(admins, with({users, FILE_ADD_FILE, 0}), me));
    EXPECT_FALSE(trusted(admins, with({users, FILE_ADD_SUBDIRECTORY, 0}), me));
    EXPECT_FALSE(trusted(admins, with({"S-1-1-0", GENERIC_ALL, 0}), me)); // Everyone
    EXPECT_FALSE(trusted(admins, with({"S-1-5-11", DELETE, 0}), me));     // Authenticated Users
    EXPECT_FALSE(trusted(admins, with({someone, WRITE_DAC, 0}), me));
    EXPECT_FALSE(trusted(someone, adminsOnly, me));
    EXPECT_FALSE(trusted(admins, adminsOnly, me, true)); // a NULL DACL lets everyone do everything
}
#endif
