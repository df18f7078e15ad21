// Support shared by the core library's tests: environment variables set for the life of an object, fresh
// temporary directories (one of them a local value store root), the text of a thrown error, the log records
// broadcast by loggers, and child processes of the test program itself.
#pragma once
#include "Exception.h"
#include "ImsAgent.h"
#include "Logger.h"

#include "platform/Process.h"
#include "platform/SystemInfo.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// Sets an environment variable (an empty value removes it) and restores what was there afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name(name) {
        hadPrevious = VeltorPlatform::getEnvironment(name, previous);
        VeltorPlatform::setEnvironment(name, value);
    }
    ~ScopedVariable() { VeltorPlatform::setEnvironment(name, hadPrevious ? previous : std::string()); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name, previous;
    bool hadPrevious = false;
};

// A fresh directory below the system's temporary directory, removed with its content afterwards.
struct TempDir {
    std::filesystem::path path;

    explicit TempDir(const std::string& tag = "dir") {
        static std::atomic<int> counter{0};
        path = std::filesystem::temp_directory_path() /
               ("sorvik-" + tag + "-" + std::to_string(VeltorPlatform::currentProcessId()) + "-" +
                std::to_string(++counter));
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The directory with '/' separators, as the library's own paths are written.
    std::string text() const { return path.generic_string(); }
    std::string fileContent(const std::string& relative) const {
        std::ifstream in(path / relative, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
};

// A fresh local value store root, set as VELTOR_FREG while the object lives.
struct StoreRoot : TempDir {
    ScopedVariable variable;
    StoreRoot() : TempDir("freg"), variable("VELTOR_FREG", text()) {}
};

// "Name: text" of the error the call threw (contained errors on further lines), or "nothing thrown".
template <typename Call> std::string thrownText(Call call) {
    try {
        call();
    } catch (const VeltorCorelib::Exception& error) {
        return error.getText(true);
    }
    return "nothing thrown";
}

// Keeps the log records of every "debug" broadcast of one module (of every module when empty).
class RecordCatcher : public VeltorCorelib::ImsAgent {
public:
    struct Seen {
        std::string group, type;
        VeltorCorelib::Logger::LogMessageParameter record;
        // The record's text with its parameters filled in.
        std::string formatted() const {
            VeltorCorelib::ParamStream values(record.parameters);
            return values.format(record.text);
        }
    };

    explicit RecordCatcher(const std::string& module = "") : ImsAgent("record-catcher"), module(module) {
        id = setMessageHook(false, "debug", "", "", 0);
    }
    ~RecordCatcher() override { removeMessageHook(id); }
    int receiveHookedMessage(std::uint64_t hookId, VeltorCorelib::ImsMessage& message) override {
        auto* record = dynamic_cast<VeltorCorelib::Logger::LogMessageParameter*>(message.getParameter());
        if (hookId == id && record != nullptr && (module.empty() || record->module == module))
            seen.push_back(Seen{message.getGroupType(), message.getMessageType(), *record});
        return VeltorCorelib::ImsNotHandled;
    }
    // The formatted texts, each after its level and a '|' when asked.
    std::vector<std::string> texts(bool withLevel = false) const {
        std::vector<std::string> out;
        for (const Seen& s : seen)
            out.push_back((withLevel ? std::to_string(s.record.level) + "|" : std::string()) + s.formatted());
        return out;
    }

    std::vector<Seen> seen;

private:
    std::string module;
    std::uint64_t id = 0;
};

// Starts this test program again as a child process in a helper mode chosen by the environment. A helper
// mode is a function registered with SORVIK_CHILD_MODE; it runs from a static initialiser before the test
// framework starts, and ends the process with its own exit code.
namespace ChildProcessSupport {

using Mode = int (*)();

struct ModeRegistration {
    ModeRegistration(const char* name, Mode mode);
};

class Child {
public:
    // Starts the program with SORVIK_CHILD_MODE=mode and SORVIK_CHILD_ARG=argument in its environment.
    Child(const std::string& mode, const std::string& argument);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const;
    // Waits for the end; the exit code, or -1 when it could not be had.
    int wait();

private:
    long long process = 0;
    bool waited = false;
};

// The argument of the running helper mode.
std::string argument();

} // namespace ChildProcessSupport

#define SORVIK_CHILD_MODE(name, function)                                                                    \
    static ChildProcessSupport::ModeRegistration childMode_##function(name, function)
