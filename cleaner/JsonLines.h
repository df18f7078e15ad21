// --json: the run's report as JSON Lines, one object per line, for log shippers. The same events as the
// lines of --list (or of the preview, or --why's explanation), each with its type, path and reason as
// fields, and its line's text; a first object says what ran, a last one how it ended. Every line is
// valid JSON whatever a name holds: control characters and everything beyond ASCII are escaped, and a
// name that is no UTF-8 text also comes as its bytes in hexadecimal ("path_hex").
//
// Schema 1. Fields may be added in later schemas; none is renamed or changes its meaning.
#pragma once
#include "ActionReport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Veltor {

class JsonLines : public EventSink {
public:
    static constexpr int kSchema = 1;
    // Takes each line, its line end included.
    using Writer = std::function<void(std::string_view line)>;

    struct Start {
        std::string version;
        std::string host;
        std::string started; // RFC 3339 with the offset
        ReportMode mode = ReportMode::List;
        std::vector<std::string> arguments;
    };

    explicit JsonLines(Writer write) : write_(std::move(write)) {}

    void start(const Start& start);
    void take(const Event& event, const ReportText::Line& shown) override;
    // --why: the explanation, its verdict first.
    void explanation(const std::string& path, const std::string& text);
    // An error that ended the run, in the words the console shows.
    void error(const std::string& text);
    // The last object, made but not written: the caller writes it where each copy belongs. Valid up
    // to the next line made.
    std::string_view summaryLine(const ActionReport::Totals& totals, double durationSeconds, int exitStatus);

    // The room a line is made in: kept from line to line, grown where a line needs more, written by
    // pointer. A removal's line is some twenty pieces; each would be a call into the string class.
    class Buffer {
    public:
        Buffer() : bytes_(1024) {}
        void clear() { size_ = 0; }
        // Room for `count` more bytes at the end; what is written there counts once added.
        char* room(std::size_t count) {
            if (count > bytes_.size() - size_)
                bytes_.resize(2 * (size_ + count));
            return bytes_.data() + size_;
        }
        void added(std::size_t count) { size_ += count; }
        void put(char c) {
            *room(1) = c;
            ++size_;
        }
        void put(std::string_view text) { size_ += text.copy(room(text.size()), text.size()); }
        std::string_view view() const { return {bytes_.data(), size_}; }

    private:
        std::vector<char> bytes_;
        std::size_t size_ = 0;
    };

    // `text` appended to `out` as a JSON string, quotes included: ASCII, everything else escaped;
    // bytes that are no UTF-8 become U+FFFD, and the answer is false.
    static bool quoteInto(Buffer& out, std::string_view text);

private:
    ReportMode mode_ = ReportMode::List;
    Writer write_;
    // The line being made and the path of its event: kept from line to line for their room.
    Buffer line_;
    std::string path_;
};

} // namespace Veltor
