// The journal's side of the system log: the datagram a journal receives, and whether standard output
// is the journal's stream.
#ifndef _WIN32
#include "PlatformTestDir.h"
#include "platform/FileErrors.h"
#include "platform/SystemLog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace VeltorPlatform;

TEST(JournalTest, SendsTheFieldsInTheNativeProtocol) {
    EXPECT_EQ(reportEvent(EventSeverity::Error, 1, "x"), FileSystemError::NotSupported);
    EXPECT_EQ(sendToJournal({}), FileSystemError::InvalidParameter);
    if (::geteuid() != 0)
        GTEST_SKIP() << "a journal socket of our own takes root (a mount namespace)";
    // A journal of the child's own: a socket where the system's is, in a mount namespace.
    const int status = runInChild([] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return 77;
        const char* at = ::access("/run/systemd/journal", F_OK) == 0 ? "/run/systemd/journal" : "/run";
        if (::mount("tmpfs", at, "tmpfs", 0, "mode=0755") != 0)
            return 77;
        ::mkdir("/run/systemd", 0755);
        ::mkdir("/run/systemd/journal", 0755);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/run/systemd/journal/socket");
        const int journal = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (journal < 0 || ::bind(journal, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return 2;
        if (sendToJournal({"MESSAGE=x", "SORVIK_A=1"}) != 0u)
            return 3;
        char got[256];
        const ssize_t size = ::recv(journal, got, sizeof got, MSG_DONTWAIT);
        // libsystemd names the program where the fields do not.
        const std::string fields =
            std::string("MESSAGE=x\nSORVIK_A=1\nSYSLOG_IDENTIFIER=") + program_invocation_short_name + "\n";
        if (size <= 0 || std::string(got, static_cast<std::size_t>(size)) != fields)
            return 4;
        return sendToJournal({"MESSAGE=x", "no field"}) == FileSystemError::InvalidParameter ? 0 : 5;
    });
    if (status == 77)
        GTEST_SKIP() << "no mount namespace to be had";
    EXPECT_EQ(status, 0) << "2: no socket, 3: not sent, 4: another datagram, 5: a field without a name sent";
}

TEST(JournalTest, TellsWhetherStandardOutputIsTheJournalsStream) {
    struct stat output {};
    ASSERT_EQ(::fstat(1, &output), 0);
    const std::string device = std::to_string(output.st_dev);
    const std::string stream = device + ":" + std::to_string(output.st_ino);
    const char* before = std::getenv("JOURNAL_STREAM");
    const std::string saved = before != nullptr ? before : "";
    const std::map<std::string, bool> cases{{stream, true},
                                            {device + ":" + std::to_string(output.st_ino + 1), false},
                                            {stream + ":", false},
                                            {" " + stream, false},
                                            {"", false}};
    for (const auto& [value, expected] : cases) {
        ::setenv("JOURNAL_STREAM", value.c_str(), 1);
        EXPECT_EQ(outputIsJournal(), expected) << value;
    }
    ::unsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(outputIsJournal());
    if (before != nullptr)
        ::setenv("JOURNAL_STREAM", saved.c_str(), 1);
}
#endif
