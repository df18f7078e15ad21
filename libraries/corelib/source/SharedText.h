// A handle to a string kept in a process-wide reference-counted pool (narrow or wide).
#pragma once
#include "ParamStream.h"

#include <cstddef>
#include <string>

namespace VeltorCorelib {

class SharedText {
public:
    SharedText();
    explicit SharedText(const std::string& text);
    explicit SharedText(const WString& text);
    SharedText(const SharedText& other);
    SharedText& operator=(const SharedText& other);
    ~SharedText();

    bool isWide() const { return wide; }
    bool isSet() const { return index != kNone; }
    // Each gives an empty string when the handle holds the other width or nothing.
    std::string narrow() const;
    WString wideText() const;
    void assign(const std::string& text);
    void assign(const WString& text);

    // Number of live entries in the pools (for tests of the reference counting).
    static std::size_t liveEntries();

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    void release();
    bool wide = false;
    std::size_t index = kNone;
};

} // namespace VeltorCorelib
