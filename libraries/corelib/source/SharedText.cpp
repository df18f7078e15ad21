#include "SharedText.h"

#include <mutex>
#include <vector>

namespace VeltorCorelib {

namespace {

template <typename S> struct Pool {
    struct Entry {
        S text;
        std::size_t references = 0;
    };
    std::vector<Entry> entries;
    std::vector<std::size_t> freeSlots;

    std::size_t add(const S& text) {
        if (!freeSlots.empty()) {
            std::size_t slot = freeSlots.back();
            freeSlots.pop_back();
            entries[slot].text = text;
            entries[slot].references = 1;
            return slot;
        }
        entries.push_back(Entry{text, 1});
        return entries.size() - 1;
    }
    void release(std::size_t slot) {
        if (--entries[slot].references == 0) {
            entries[slot].text = S();
            freeSlots.push_back(slot);
        }
    }
    std::size_t live() const { return entries.size() - freeSlots.size(); }
};

// The pools live as long as the process; they are built on first use so that handles in static
// objects work whatever the order of static construction.
std::mutex& poolLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}
Pool<std::string>& narrowPool() {
    static Pool<std::string>* pool = new Pool<std::string>;
    return *pool;
}
Pool<WString>& widePool() {
    static Pool<WString>* pool = new Pool<WString>;
    return *pool;
}

} // namespace

SharedText::SharedText() = default;

SharedText::SharedText(const std::string& text) { assign(text); }

SharedText::SharedText(const WString& text) { assign(text); }

SharedText::SharedText(const SharedText& other) { *this = other; }

SharedText& SharedText::operator=(const SharedText& other) {
    if (this == &other)
        return *this;
    std::lock_guard<std::mutex> guard(poolLock());
    if (other.index != kNone) {
        if (other.wide)
            ++widePool().entries[other.index].references;
        else
            ++narrowPool().entries[other.index].references;
    }
    if (index != kNone)
        wide ? widePool().release(index) : narrowPool().release(index);
    wide = other.wide;
    index = other.index;
    return *this;
}

SharedText::~SharedText() { release(); }

void SharedText::release() {
    if (index == kNone)
        return;
    std::lock_guard<std::mutex> guard(poolLock());
    wide ? widePool().release(index) : narrowPool().release(index);
    index = kNone;
}

std::string SharedText::narrow() const {
    if (index == kNone || wide)
        return std::string();
    std::lock_guard<std::mutex> guard(poolLock());
    return narrowPool().entries[index].text;
}

WString SharedText::wideText() const {
    if (index == kNone || !wide)
        return WString();
    std::lock_guard<std::mutex> guard(poolLock());
    return widePool().entries[index].text;
}

void SharedText::assign(const std::string& text) {
    release();
    std::lock_guard<std::mutex> guard(poolLock());
    index = narrowPool().add(text);
    wide = false;
}

void SharedText::assign(const WString& text) {
    release();
    std::lock_guard<std::mutex> guard(poolLock());
    index = widePool().add(text);
    wide = true;
}

std::size_t SharedText::liveEntries() {
    std::lock_guard<std::mutex> guard(poolLock());
    return narrowPool().live() + widePool().live();
}

} // namespace VeltorCorelib
