#include "platform/SystemInfo.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace VeltorPlatform;

TEST(SystemInfo, AnswersTheBasicFacts) {
    std::string host;
    ASSERT_TRUE(computerName(host));
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(std::string::npos, host.find('.'));

    std::string user;
    ASSERT_TRUE(userName(user));
    EXPECT_FALSE(user.empty());
    EXPECT_EQ(std::string::npos, user.find('\0'));

    const OsVersion os = osVersion();
#ifdef _WIN32
    EXPECT_EQ(0u, os.name.rfind("windows", 0)) << os.name;
#else
    EXPECT_EQ("linux", os.name);
    EXPECT_FALSE(os.release.empty());
    ASSERT_FALSE(os.majorText.empty());
    EXPECT_EQ(std::to_string(std::stoul(os.majorText) * 100 + std::stoul(os.minorText)), os.versionNumber);
#endif
    EXPECT_FALSE(processorArchitecture().empty());
    if (sizeof(void*) == 8) {
        EXPECT_TRUE(osIs64Bit());
    }

    for (const std::string& address : ipv4Addresses()) {
        EXPECT_NE("127.0.0.1", address);
        EXPECT_EQ(3, std::count(address.begin(), address.end(), '.')) << address;
    }
    const std::vector<std::string> groups = localGroups();
    EXPECT_TRUE(std::is_sorted(groups.begin(), groups.end()));

    std::uint64_t serial = 0;
    EXPECT_TRUE(volumeSerial(kPathStyle == PathStyle::Windows ? "C:\\" : "/", serial));
    EXPECT_FALSE(volumeSerial("", serial));
}

#ifndef _WIN32
TEST(SystemInfo, GroupsOfThePosixDatabase) {
    const std::vector<std::string> groups = localGroups();
    EXPECT_NE(groups.end(), std::find(groups.begin(), groups.end(), "root"));
    // root is the primary group of the root user, listed even without a member list entry.
    const std::vector<std::string> members = localGroupMembers("root");
    EXPECT_NE(members.end(), std::find(members.begin(), members.end(), "root"));
    EXPECT_TRUE(localGroupMembers("no-such-group-sorvik").empty());
}
#endif
